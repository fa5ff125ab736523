// TCP client connections for the mail and web clients. Every wait is bounded;
// failures leave the Windows socket error code in LastError (natively errno is
// mapped to the same codes).
#pragma once

#include <cstdint>
#include <mutex>
#include <string>

namespace platform {

// Socket error codes as Windows reports them.
namespace socket_error {
constexpr uint32_t kInterrupted = 10004;  // closed by another thread meanwhile
constexpr uint32_t kNotConnected = 10057;
constexpr uint32_t kTimedOut = 10060;
constexpr uint32_t kRefused = 10061;
constexpr uint32_t kHostNotFound = 11001;
}  // namespace socket_error

// The address to connect to for a host: a literal IPv4 or IPv6 address comes
// back as given, a host name resolves to its first IPv4 address in dotted
// form. Empty when the name does not resolve; then error (when given) holds
// the code.
std::string ResolveHost(const std::string& host, uint32_t* error = nullptr);

// One client connection. One thread works with it; any other thread may call
// Close, which wakes a wait in progress and makes it fail with kInterrupted.
class Socket {
 public:
  Socket() = default;
  ~Socket() { Close(); }
  Socket(const Socket&) = delete;
  Socket& operator=(const Socket&) = delete;

  // Connects to a host (as ResolveHost takes it) and port, waiting at most
  // timeoutMs for the connection. Fails on a socket that is open.
  bool Connect(const std::string& host, uint16_t port, uint32_t timeoutMs);
  // Sends every byte within timeoutMs in all.
  bool Send(const std::string& data, uint32_t timeoutMs);
  // Up to maxBytes that arrive within timeoutMs. Empty when the peer has closed
  // the connection (LastError 0), on a time-out or on a failure.
  std::string Receive(size_t maxBytes, uint32_t timeoutMs);
  // True when data (or the peer's close) arrives within timeoutMs.
  bool WaitReadable(uint32_t timeoutMs);
  // Ends the connection; safe to call again and from any thread.
  void Close();
  // Close for good, from any thread: a Connect in progress or to come fails
  // too (a cancel may come while the name is still being resolved), and every
  // operation then fails with kInterrupted.
  void Interrupt();
  bool IsOpen() const;
  // The code of the last failure of Connect, Send, Receive or WaitReadable.
  uint32_t LastError() const { return error_; }

 private:
  class Use;
  // Waits until the socket can be read (or written) and returns 0, or the
  // failure's code.
  uint32_t Wait(intptr_t handle, bool write, uint32_t timeoutMs) const;
  bool Closing() const;
  bool Fail(uint32_t error);
  // The failure of an operation on a socket that is not open.
  bool FailClosed();

  mutable std::mutex mutex_;
  intptr_t handle_ = -1;
  int users_ = 0;         // operations running on handle_
  bool closing_ = false;  // handle_ is closed as soon as no operation uses it
  bool interrupted_ = false;
  uint32_t error_ = 0;
};

// Ends the connections of one piece of work from another thread, such as the
// user's Cancel while setup waits on the network: the socket registered when
// Cancel comes, and every one registered after it, is interrupted.
class SocketCancel {
 public:
  void Cancel();
  // The socket that Cancel interrupts; its owner registers nullptr before the
  // socket ends.
  void Register(Socket* socket);

 private:
  std::mutex mutex_;
  Socket* socket_ = nullptr;
  bool cancelled_ = false;
};

}  // namespace platform
