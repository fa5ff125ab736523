// TLS client connections over a connected Socket: TLS 1.2 and later, with the
// server's certificate chain and host name verified (the system's roots plus
// the anchor SetTrustAnchor adds; no revocation checks, as the machine may be
// offline). Nothing is sent over an unverified connection.
#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "platform/socket.h"

namespace platform {

// Trusts the certificates of a PEM file as roots for every later handshake of
// the process, beside the system's own; "" removes them again. False when the
// file holds no certificate (then nothing extra is trusted).
bool SetTrustAnchor(const std::string& pemFile);

// One TLS connection on a socket the caller connected and keeps open meanwhile.
class TlsClient {
 public:
  explicit TlsClient(Socket& socket);
  ~TlsClient();
  TlsClient(const TlsClient&) = delete;
  TlsClient& operator=(const TlsClient&) = delete;

  // The handshake for a host name or literal address (sent as the server name
  // when it is a name), within timeoutMs. False when it fails or the
  // certificate does not verify for that host.
  bool Handshake(const std::string& host, uint32_t timeoutMs);
  // Sends every byte within timeoutMs in all.
  bool Send(const std::string& data, uint32_t timeoutMs);
  // Up to maxBytes of data that arrive within timeoutMs; empty when the peer
  // has ended the connection, on a time-out or on a failure.
  std::string Receive(size_t maxBytes, uint32_t timeoutMs);
  // After an empty Receive: true when the peer ended the connection with
  // TLS's close_notify. A connection cut without it is no clean end: what was
  // sent may have been cut short by the network.
  bool PeerClosed() const;

 private:
  struct State;
  Socket& socket_;
  std::unique_ptr<State> state_;
};

}  // namespace platform
