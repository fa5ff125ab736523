#include "net/http_client.h"

#include <algorithm>
#include <atomic>
#include <cctype>
#include <cstdio>
#include <memory>
#include <vector>

#include "net/addresses.h"
#include "platform/clock.h"
#include "platform/files.h"
#include "platform/socket.h"
#include "platform/tls.h"
#include "support/base64.h"
#include "support/file_utils.h"
#include "support/log_writer.h"
#include "support/text_fields.h"

namespace support {
namespace {

constexpr size_t kHeaderLimit = 64 * 1024;
constexpr uint64_t kBodyLimit = 64ull * 1024 * 1024;
constexpr size_t kChunkBytes = 16 * 1024;
constexpr uint32_t kWaitMs = 300000;  // no single wait is longer
constexpr int kMaxDepth = 32;         // redirects followed from requests up to this depth
constexpr int kNameAttempts = 64;

// Counts every request of the process, redirects included; it numbers the temporary files.
std::atomic<uint32_t> requestCounter{0};

bool Unsafe(unsigned char c) {
  return c <= 0x20 || c >= 0x7F;
}

bool AllDigits(const std::string& text) {
  return std::all_of(text.begin(), text.end(),
                     [](char c) { return std::isdigit(static_cast<unsigned char>(c)); });
}

bool StartsWithNoCase(std::string_view text, std::string_view prefix) {
  return text.size() >= prefix.size() && SameText(text.substr(0, prefix.size()), prefix);
}

// "+" is a blank and "%" with two hexadecimal digits that byte.
std::string PercentDecode(const std::string& text) {
  if (text.find('%') == std::string::npos) return text;
  std::string out;
  for (size_t i = 0; i < text.size(); ++i) {
    if (text[i] == '+') {
      out += ' ';
    } else if (text[i] == '%' && i + 2 < text.size() &&
               std::isxdigit(static_cast<unsigned char>(text[i + 1])) &&
               std::isxdigit(static_cast<unsigned char>(text[i + 2]))) {
      out += static_cast<char>(std::stoi(text.substr(i + 1, 2), nullptr, 16));
      i += 2;
    } else {
      out += text[i];
    }
  }
  return out;
}

std::string PercentEncodeUnsafe(const std::string& text) {
  std::string out;
  for (unsigned char c : text) {
    if (Unsafe(c)) {
      char escaped[4];
      std::snprintf(escaped, sizeof escaped, "%%%02X", c);
      out += escaped;
    } else {
      out += static_cast<char>(c);
    }
  }
  return out;
}

// A port given after the host must be one (1 to 65535): anything else would
// silently become the scheme's default port. An empty one is the default.
bool PortAllowed(const std::string& hostPart) {
  size_t bracket = hostPart.rfind(']');
  size_t colon = hostPart.find(':', bracket == std::string::npos ? 0 : bracket);
  if (colon == std::string::npos) return true;
  std::string port = hostPart.substr(colon + 1);
  if (port.empty()) return true;
  if (port.size() > 5 || !AllDigits(port)) return false;
  const int number = std::stoi(port);
  return number >= 1 && number <= 65535;
}

// Each ".." removes the directory before it; never above "/".
std::string RemoveDotSegments(const std::string& path) {
  std::vector<std::string> parts;
  bool endsInDirectory = false;
  for (size_t from = 1;;) {
    size_t slash = path.find('/', from);
    std::string segment = path.substr(from, slash == std::string::npos ? slash : slash - from);
    endsInDirectory = segment == "..";
    if (!endsInDirectory)
      parts.push_back(segment);
    else if (!parts.empty())
      parts.pop_back();
    if (slash == std::string::npos) break;
    from = slash + 1;
  }
  std::string out;
  for (const std::string& part : parts) out += "/" + part;
  return out.empty() || endsInDirectory ? out + "/" : out;
}

// Replaces every line of that name in a block of header lines by one with the
// value (none when the value is empty).
void SetHeaderLine(std::string& lines, std::string_view name, const std::string& value) {
  std::string kept;
  for (size_t from = 0; from < lines.size();) {
    size_t end = lines.find('\n', from);
    end = end == std::string::npos ? lines.size() : end + 1;
    std::string_view line(lines.data() + from, end - from);
    if (!(StartsWithNoCase(line, name) && line.size() > name.size() && line[name.size()] == ':'))
      kept += line;
    from = end;
  }
  if (!value.empty()) kept += std::string(name) + ": " + value + "\r\n";
  lines = kept;
}

bool SameOrigin(const HttpUrl& a, const HttpUrl& b) {
  return a.secure == b.secure && SameText(a.host, b.host) && a.port == b.port;
}

// The overall time of a call on the platform clock; each wait gets what is left.
class Deadline {
 public:
  explicit Deadline(uint32_t ms) : start_(platform::Tick()), span_(ms) {}
  uint32_t Left() const {
    uint32_t used = platform::Tick() - start_;  // wrap-safe
    return used >= span_ ? 0 : std::min(span_ - used, kWaitMs);
  }

 private:
  uint32_t start_;
  uint32_t span_;
};

// One connection, plain or verified TLS; nothing goes out before the handshake
// has succeeded.
class Connection {
 public:
  explicit Connection(platform::SocketCancel* cancel) : cancel_(cancel) {
    if (cancel_) cancel_->Register(&socket_);
  }
  ~Connection() {
    if (cancel_) cancel_->Register(nullptr);
  }
  Connection(const Connection&) = delete;
  Connection& operator=(const Connection&) = delete;

  bool Open(const std::string& host, int port, bool secure, const Deadline& deadline) {
    if (!socket_.Connect(host, static_cast<uint16_t>(port), deadline.Left())) return false;
    if (!secure) return true;
    tls_ = std::make_unique<platform::TlsClient>(socket_);
    return tls_->Handshake(host, deadline.Left());
  }
  bool Send(const std::string& data, const Deadline& deadline) {
    return deadline.Left() > 0 &&
           (tls_ ? tls_->Send(data, deadline.Left()) : socket_.Send(data, deadline.Left()));
  }
  // The next bytes; empty at the end, with closed telling whether the peer ended
  // the connection (rather than a time-out or failure).
  std::string Receive(const Deadline& deadline, bool& closed) {
    closed = false;
    if (deadline.Left() == 0) return {};
    std::string data = tls_ ? tls_->Receive(kChunkBytes, deadline.Left())
                            : socket_.Receive(kChunkBytes, deadline.Left());
    if (data.empty()) closed = tls_ ? tls_->PeerClosed() : socket_.LastError() == 0;
    return data;
  }

 private:
  platform::SocketCancel* cancel_;
  platform::Socket socket_;
  std::unique_ptr<platform::TlsClient> tls_;  // ends before the socket
};

struct Request {
  std::string method = "GET";
  std::string body;
  std::string proxy;
  bool saveHeaders = false;
  platform::SocketCancel* cancel = nullptr;
};

// The temporary directory + local time + the counter in 4 hexadecimal digits;
// created exclusively, and on a clash under the next counter value.
bool CreateTempFile(uint32_t counter, platform::File& file, std::string& name) {
  std::string folder = GetTempDirectory();
  CreateDirectoryPath(folder);
  for (int attempt = 0; attempt < kNameAttempts; ++attempt) {
    char hex[16];
    std::snprintf(hex, sizeof hex, "%04x", attempt == 0 ? counter : ++requestCounter);
    name =
        folder + FormatDateTime("yyyymmddhhnnss", platform::Now()) + std::string(hex, 4) + ".tmp";
    if (file.Open(name, platform::File::Mode::CreateNew)) return true;
  }
  return false;
}

// Streams a 200 response into a new temporary file: the header block when
// asked, then the body until Content-Length or, without one, the peer's close.
// A body cut short, too long or late leaves no file.
void SaveResponse(Connection& connection, const Request& request, const Deadline& deadline,
                  const std::string& received, size_t headerEnd, const HttpResponseHead& head,
                  uint32_t counter, std::string& fileName) {
  const bool known = head.contentLength >= 0;
  if (head.contentLength == kBadContentLength ||
      (known && static_cast<uint64_t>(head.contentLength) > kBodyLimit))
    return;
  const uint64_t limit = known ? static_cast<uint64_t>(head.contentLength) : kBodyLimit;
  platform::File file;
  std::string name;
  if (!CreateTempFile(counter, file, name)) return;
  bool complete = !request.saveHeaders || file.Write(received.data(), headerEnd);
  uint64_t written = request.saveHeaders ? headerEnd : 0, bodyBytes = 0;
  std::string chunk = received.substr(headerEnd);
  while (complete) {
    size_t take = static_cast<size_t>(std::min<uint64_t>(chunk.size(), limit - bodyBytes));
    if (take > 0 && !file.Write(chunk.data(), take)) complete = false;
    bodyBytes += take;
    written += take;
    if (!complete || (known && bodyBytes == limit)) break;
    if (chunk.size() > take) complete = false;  // over the cap
    bool closed = false;
    if (complete) chunk = connection.Receive(deadline, closed);
    if (complete && chunk.empty()) {
      complete = closed && !known;
      break;
    }
  }
  file.Close();
  if (complete && written > 0)
    fileName = name;
  else
    platform::DeleteFile(name);
}

// One request on a connection of its own. Returns the URL a redirect leads
// to, or "" (fileName set when the response was saved).
std::string Exchange(const Request& request, const HttpUrl& target, std::string& headers,
                     uint32_t counter, const Deadline& deadline, std::string& fileName) {
  std::string host = target.host, path = target.path;
  int port = target.port;
  if (!request.proxy.empty()) {
    std::string address, name;
    ParseHostPort(request.proxy, 80, address, port, name);
    host = name.empty() ? address : name;
    path = "http://" + HttpAuthority(target) + target.path;
  }
  Connection connection(request.cancel);
  if (host.empty() || !connection.Open(host, port, target.secure, deadline)) return {};
  if (!connection.Send(request.method + " " + path + " HTTP/1.1\r\nHost: " + HttpAuthority(target) +
                           "\r\n" + headers + "Connection: close\r\n\r\n" + request.body,
                       deadline))
    return {};

  std::string received;
  size_t headerEnd;
  while ((headerEnd = received.find("\r\n\r\n")) == std::string::npos) {
    bool closed = false;
    std::string chunk = received.size() < kHeaderLimit ? connection.Receive(deadline, closed) : "";
    if (chunk.empty()) return {};
    received += chunk;
  }
  headerEnd += 4;
  if (headerEnd > kHeaderLimit) return {};
  HttpResponseHead head = ParseResponseHead(std::string_view(received).substr(0, headerEnd));
  if (!head.cookie.empty()) SetHeaderLine(headers, "Cookie", head.cookie);
  if (head.status == 301 || head.status == 302)
    return head.location.empty() ? "" : ResolveRedirect(target, head.location);
  if (head.status == 200)
    SaveResponse(connection, request, deadline, received, headerEnd, head, counter, fileName);
  return {};
}

}  // namespace

bool ParseHttpUrl(const std::string& url, HttpUrl& target) {
  target = {};
  size_t rest;
  if (StartsWithNoCase(url, "https://")) {
    target.secure = true;
    rest = 8;
  } else if (StartsWithNoCase(url, "http://")) {
    rest = 7;
  } else {
    return false;
  }
  if (url.find_first_of("\r\n") != std::string::npos) return false;
  size_t pathStart = url.find_first_of("/?#", rest);
  std::string hostPart = url.substr(rest, pathStart - rest);
  // The fragment is the client's own: it never goes to the server.
  std::string path = pathStart == std::string::npos ? "/" : url.substr(pathStart);
  path.erase(std::min(path.find('#'), path.size()));
  if (path.empty() || path[0] != '/') path = "/" + path;
  size_t at = hostPart.rfind('@');
  if (at != std::string::npos) {
    std::string credentials = hostPart.substr(0, at);
    size_t colon = credentials.find(':');
    target.user = PercentDecode(TrimBlanks(credentials.substr(0, colon)));
    if (colon != std::string::npos)
      target.password = PercentDecode(TrimBlanks(credentials.substr(colon + 1)));
    hostPart = hostPart.substr(at + 1);
  }
  std::string address, name;
  hostPart = PercentDecode(hostPart);
  ParseHostPort(hostPart, target.secure ? 443 : 80, address, target.port, name);
  target.host = name.empty() ? address : name;
  target.path = PercentEncodeUnsafe(path);
  return PortAllowed(hostPart) && !target.host.empty() &&
         std::none_of(target.host.begin(), target.host.end(),
                      [](char c) { return Unsafe(static_cast<unsigned char>(c)); });
}

std::string HttpAuthority(const HttpUrl& url) {
  std::string host = url.host.find(':') == std::string::npos ? url.host : "[" + url.host + "]";
  return url.port == (url.secure ? 443 : 80) ? host : host + ":" + std::to_string(url.port);
}

std::string HttpHeaderValue(std::string_view block, std::string_view name) {
  size_t from = block.find('\n');  // past the status line
  while (from != std::string_view::npos) {
    std::string_view line = block.substr(from + 1);
    from = block.find('\n', from + 1);
    line = line.substr(0, line.find('\n'));
    if (StartsWithNoCase(line, name) && line.size() > name.size() && line[name.size()] == ':')
      return TrimBlanks(std::string(line.substr(name.size() + 1)));
  }
  return {};
}

HttpResponseHead ParseResponseHead(std::string_view block) {
  HttpResponseHead head;
  std::string status = TrimBlanks(std::string(block.substr(0, block.find('\n'))));
  size_t word = status.find(' ');
  word = word == std::string::npos ? word : status.find_first_not_of(' ', word);
  if (word != std::string::npos) {
    std::string code = status.substr(word, status.find(' ', word) - word);
    if (code.size() == 3 && AllDigits(code) && code[0] != '0') head.status = std::stoi(code);
  }
  head.location = HttpHeaderValue(block, "Location");
  std::string length = HttpHeaderValue(block, "Content-Length");
  if (!length.empty())
    head.contentLength =
        length.size() <= 18 && AllDigits(length) ? std::stoll(length) : kBadContentLength;
  std::string cookie = HttpHeaderValue(block, "Set-Cookie");
  head.cookie = TrimBlanks(cookie.substr(0, cookie.find(';')));
  // Sent back on a header line of its own: a lone CR in it would start another.
  if (std::any_of(head.cookie.begin(), head.cookie.end(),
                  [](char c) { return static_cast<unsigned char>(c) < 0x20 || c == 0x7F; }))
    head.cookie.clear();
  return head;
}

std::string ResolveRedirect(const HttpUrl& current, const std::string& location) {
  std::string url = location;
  if (location.find("://") == std::string::npos) {
    std::string base = current.path.substr(0, current.path.find('?'));
    base = base.substr(0, base.rfind('/') + 1);
    size_t query = location.find('?');
    std::string path = location.substr(0, query);
    if (path.empty() || path[0] != '/') path = base + path;
    url = (current.secure ? "https://" : "http://") + HttpAuthority(current) +
          RemoveDotSegments(path) + (query == std::string::npos ? "" : location.substr(query));
  }
  HttpUrl next;
  if (!ParseHttpUrl(url, next) || (current.secure && !next.secure)) return {};
  return url;
}

void HttpGet(const std::string& url, bool saveHeaders, const std::string& request,
             std::string& fileName, const std::string& proxy, const std::string& headers,
             uint32_t deadlineMs, platform::SocketCancel* cancel) {
  fileName.clear();
  const Deadline deadline(deadlineMs);
  Request r;
  r.proxy = proxy;
  r.saveHeaders = saveHeaders;
  r.cancel = cancel;
  if (!request.empty()) {
    size_t lineFeed = request.find('\n');
    r.method = TrimBlanks(request.substr(0, lineFeed));
    if (lineFeed != std::string::npos) r.body = request.substr(lineFeed + 1);
  }
  if (r.method.empty() || std::any_of(r.method.begin(), r.method.end(),
                                      [](char c) { return Unsafe(static_cast<unsigned char>(c)); }))
    return;
  std::string lines = headers;
  HttpUrl target;
  if (!ParseHttpUrl(url, target)) return;
  for (int depth = 1;; ++depth) {
    // https never goes out through a proxy: that would be plain text.
    if (target.secure && !proxy.empty()) return;
    if (!target.user.empty())
      SetHeaderLine(lines, "Authorization",
                    "Basic " + Base64Encode(target.user + ":" + target.password));
    std::string next = Exchange(r, target, lines, ++requestCounter, deadline, fileName);
    HttpUrl nextTarget;
    if (next.empty() || depth > kMaxDepth || !ParseHttpUrl(next, nextTarget)) return;
    // Credentials and cookies stay with the scheme, host and port they were for.
    if (!SameOrigin(target, nextTarget)) {
      SetHeaderLine(lines, "Authorization", "");
      SetHeaderLine(lines, "Cookie", "");
    }
    target = nextTarget;
  }
}

}  // namespace support
