// A small blocking HTTP/1.1 client that fetches one resource into a temporary
// file, following redirects. Every request opens its own connection (and says
// "Connection: close"); https is verified TLS or nothing.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace platform {
class SocketCancel;
}

namespace support {

constexpr uint32_t kHttpDeadlineMs = 60000;

// Fetches url into a new temporary file and sets fileName to its name, or to "" when nothing was
// saved. request: "" for GET, otherwise the method on its first line and the body after it. proxy:
// host[:port] (http only). headers: extra lines, each ending in CR LF. The whole call, redirects
// included, ends by deadlineMs on the platform clock (the resolving of a host name aside), or
// soon after cancel (when given) is cancelled from another thread.
void HttpGet(const std::string& url, bool saveHeaders, const std::string& request,
             std::string& fileName, const std::string& proxy = "", const std::string& headers = "",
             uint32_t deadlineMs = kHttpDeadlineMs, platform::SocketCancel* cancel = nullptr);

// What a request needs of an http:// or https:// URL (the scheme in any case).
struct HttpUrl {
  bool secure = false;
  std::string host;  // host name or literal address, without brackets
  int port = 0;
  std::string path;  // from the first "/", blanks, control and 8-bit bytes percent-encoded
  std::string user, password;
};

// False for another scheme, a CR or LF anywhere, or a host that is empty or
// holds blanks or control characters once percent-decoded.
bool ParseHttpUrl(const std::string& url, HttpUrl& target);
// The host as a Host line carries it: IPv6 addresses in brackets, ":port" when
// the port is not the scheme's default.
std::string HttpAuthority(const HttpUrl& url);

constexpr int64_t kNoContentLength = -1;
constexpr int64_t kBadContentLength = -2;

// The parts of a response header block (status line to the empty line) that
// the client acts on.
struct HttpResponseHead {
  int status = 0;  // the second word of the status line; 0 when it is no code from 100 to 999
  std::string location;
  int64_t contentLength = kNoContentLength;  // or kBadContentLength when not a decimal number
  std::string cookie;  // the name=value part of Set-Cookie; "" when it holds control characters
};

HttpResponseHead ParseResponseHead(std::string_view block);
// The trimmed value of the first header line with that name (matched at the
// start of the line, without regard to case); "" when there is none.
std::string HttpHeaderValue(std::string_view block, std::string_view name);
// The URL a redirect's Location leads to from the current one: an absolute
// URL as given, a relative one resolved against the current path ("..", never
// above "/"). "" when the result is unusable or leads from https to http.
std::string ResolveRedirect(const HttpUrl& current, const std::string& location);

}  // namespace support
