// TLS through OpenSSL over memory buffers: the library never sees the socket,
// every byte goes through platform::Socket with its time-outs.
#include "platform/tls.h"

#include <openssl/err.h>
#include <openssl/ssl.h>
#include <openssl/x509v3.h>

#include <chrono>
#include <mutex>

#include "platform/socket_os.h"

namespace platform {
namespace {

using SteadyClock = std::chrono::steady_clock;

constexpr size_t kRecordBytes = 16 * 1024 + 256;

std::mutex anchorMutex;
std::string anchorFile;

uint32_t MillisecondsLeft(SteadyClock::time_point deadline) {
  auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - SteadyClock::now());
  return left.count() > 0 ? static_cast<uint32_t>(left.count()) : 0;
}

SteadyClock::time_point DeadlineIn(uint32_t timeoutMs) {
  return SteadyClock::now() + std::chrono::milliseconds(timeoutMs);
}

}  // namespace

bool SetTrustAnchor(const std::string& pemFile) {
  std::lock_guard<std::mutex> lock(anchorMutex);
  anchorFile.clear();
  if (pemFile.empty()) return true;
  // Checked now, so that a test learns at once that its anchor is unusable.
  X509_STORE* store = X509_STORE_new();
  bool loaded = store && X509_STORE_load_file(store, pemFile.c_str()) == 1;
  X509_STORE_free(store);
  ERR_clear_error();
  if (loaded) anchorFile = pemFile;
  return loaded;
}

struct TlsClient::State {
  SSL_CTX* context = nullptr;
  SSL* ssl = nullptr;
  BIO* incoming = nullptr;  // owned by ssl
  BIO* outgoing = nullptr;  // owned by ssl
  bool ready = false;       // handshake done and verified
  bool peerClosed = false;

  ~State() {
    SSL_free(ssl);
    SSL_CTX_free(context);
    ERR_clear_error();
  }
};

TlsClient::TlsClient(Socket& socket) : socket_(socket), state_(std::make_unique<State>()) {}

TlsClient::~TlsClient() = default;

namespace {

// Sends what the library has written into its outgoing buffer.
bool Flush(Socket& socket, BIO* outgoing, SteadyClock::time_point deadline) {
  char buffer[kRecordBytes];
  for (int n; (n = BIO_read(outgoing, buffer, sizeof buffer)) > 0;)
    if (!socket.Send(std::string(buffer, static_cast<size_t>(n)), MillisecondsLeft(deadline)))
      return false;
  return true;
}

// Gives the library what arrives next; false on a time-out, failure or close.
bool Fill(Socket& socket, BIO* incoming, SteadyClock::time_point deadline) {
  std::string data = socket.Receive(kRecordBytes, MillisecondsLeft(deadline));
  if (data.empty()) return false;
  return BIO_write(incoming, data.data(), static_cast<int>(data.size())) ==
         static_cast<int>(data.size());
}

}  // namespace

bool TlsClient::Handshake(const std::string& host, uint32_t timeoutMs) {
  State& s = *state_;
  if (s.ssl) return false;
  s.context = SSL_CTX_new(TLS_client_method());
  if (!s.context) return false;
  SSL_CTX_set_min_proto_version(s.context, TLS1_2_VERSION);
  SSL_CTX_set_verify(s.context, SSL_VERIFY_PEER, nullptr);
  if (SSL_CTX_set_default_verify_paths(s.context) != 1) return false;
  {
    std::lock_guard<std::mutex> lock(anchorMutex);
    if (!anchorFile.empty() &&
        SSL_CTX_load_verify_locations(s.context, anchorFile.c_str(), nullptr) != 1)
      return false;
  }
  s.ssl = SSL_new(s.context);
  s.incoming = BIO_new(BIO_s_mem());
  s.outgoing = BIO_new(BIO_s_mem());
  if (!s.ssl || !s.incoming || !s.outgoing) {
    BIO_free(s.incoming);
    BIO_free(s.outgoing);
    return false;
  }
  SSL_set_bio(s.ssl, s.incoming, s.outgoing);
  SSL_set_connect_state(s.ssl);
  X509_VERIFY_PARAM* param = SSL_get0_param(s.ssl);
  if (socket_os::IsAddress(host)) {
    if (X509_VERIFY_PARAM_set1_ip_asc(param, host.c_str()) != 1) return false;
  } else if (SSL_set_tlsext_host_name(s.ssl, host.c_str()) != 1 ||
             SSL_set1_host(s.ssl, host.c_str()) != 1) {
    return false;
  }

  auto deadline = DeadlineIn(timeoutMs);
  for (;;) {
    int result = SSL_do_handshake(s.ssl);
    int error = SSL_get_error(s.ssl, result);
    // The alert of a refused certificate goes out too.
    if (!Flush(socket_, s.outgoing, deadline)) return false;
    if (result == 1) break;
    if (error != SSL_ERROR_WANT_READ || !Fill(socket_, s.incoming, deadline)) return false;
  }
  // SSL_VERIFY_PEER has ended the handshake already when the certificate
  // failed for the host.
  s.ready = true;
  return true;
}

bool TlsClient::Send(const std::string& data, uint32_t timeoutMs) {
  State& s = *state_;
  if (!s.ready) return false;
  auto deadline = DeadlineIn(timeoutMs);
  for (size_t sent = 0; sent < data.size();) {
    size_t written = 0;
    if (SSL_write_ex(s.ssl, data.data() + sent, data.size() - sent, &written) != 1) return false;
    sent += written;
    if (!Flush(socket_, s.outgoing, deadline)) return false;
  }
  return true;
}

std::string TlsClient::Receive(size_t maxBytes, uint32_t timeoutMs) {
  State& s = *state_;
  s.peerClosed = false;
  if (!s.ready || maxBytes == 0) return {};
  std::string buffer(maxBytes, '\0');
  auto deadline = DeadlineIn(timeoutMs);
  for (;;) {
    size_t got = 0;
    int result = SSL_read_ex(s.ssl, buffer.data(), buffer.size(), &got);
    if (result == 1) {
      buffer.resize(got);
      return buffer;
    }
    int error = SSL_get_error(s.ssl, result);
    // Session tickets and key updates may want an answer.
    if (!Flush(socket_, s.outgoing, deadline)) return {};
    // Only the peer's close_notify ends the data; a connection cut without it
    // (the library would call it an unexpected EOF) may have lost the rest.
    if (error == SSL_ERROR_ZERO_RETURN) {
      s.peerClosed = true;
      return {};
    }
    if (error != SSL_ERROR_WANT_READ || !Fill(socket_, s.incoming, deadline)) return {};
  }
}

bool TlsClient::PeerClosed() const {
  return state_->peerClosed;
}

}  // namespace platform
