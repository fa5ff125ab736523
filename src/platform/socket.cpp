#include "platform/socket.h"

#include <algorithm>
#include <chrono>

#include "platform/socket_os.h"

namespace platform {
namespace {

using SteadyClock = std::chrono::steady_clock;

// A close from another thread is noticed within one slice of a wait even where
// the system does not wake a wait on a shut-down socket.
constexpr uint32_t kSliceMs = 50;

constexpr uint32_t kIsConnected = 10056;

uint32_t MillisecondsLeft(SteadyClock::time_point deadline) {
  auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - SteadyClock::now());
  return left.count() > 0 ? static_cast<uint32_t>(left.count()) : 0;
}

}  // namespace

// Holds the handle for one operation: a concurrent Close shuts it down but
// leaves closing it to the last user, so no operation ever works on a
// descriptor number the system has handed out again.
class Socket::Use {
 public:
  explicit Use(Socket& socket) : socket_(socket) {
    std::lock_guard<std::mutex> lock(socket_.mutex_);
    if (socket_.closing_ || socket_.handle_ == socket_os::kNoHandle) return;
    handle_ = socket_.handle_;
    ++socket_.users_;
  }
  ~Use() {
    if (handle_ == socket_os::kNoHandle) return;
    std::lock_guard<std::mutex> lock(socket_.mutex_);
    if (--socket_.users_ == 0 && socket_.closing_) {
      socket_os::CloseSocket(socket_.handle_);
      socket_.handle_ = socket_os::kNoHandle;
    }
  }
  Use(const Use&) = delete;
  Use& operator=(const Use&) = delete;
  intptr_t handle() const { return handle_; }

 private:
  Socket& socket_;
  intptr_t handle_ = socket_os::kNoHandle;
};

std::string ResolveHost(const std::string& host, uint32_t* error) {
  uint32_t code = 0;
  std::string address = socket_os::IsAddress(host) ? host : socket_os::ResolveIPv4(host, code);
  if (error) *error = code;
  return address;
}

bool Socket::Fail(uint32_t error) {
  error_ = error;
  return false;
}

bool Socket::FailClosed() {
  std::lock_guard<std::mutex> lock(mutex_);
  error_ = interrupted_ ? socket_error::kInterrupted : socket_error::kNotConnected;
  return false;
}

bool Socket::Closing() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return closing_;
}

uint32_t Socket::Wait(intptr_t handle, bool write, uint32_t timeoutMs) const {
  auto deadline = SteadyClock::now() + std::chrono::milliseconds(timeoutMs);
  // Each pass takes a slice of real time, so the loop ends by the deadline.
  for (;;) {
    if (Closing()) return socket_error::kInterrupted;
    uint32_t left = MillisecondsLeft(deadline), error = 0;
    int ready = socket_os::Wait(handle, write, std::min(left, kSliceMs), error);
    if (ready < 0) return error;
    if (ready > 0) return Closing() ? socket_error::kInterrupted : 0;
    if (left == 0) return socket_error::kTimedOut;
  }
}

bool Socket::Connect(const std::string& host, uint16_t port, uint32_t timeoutMs) {
  {
    std::lock_guard<std::mutex> lock(mutex_);
    if (interrupted_) return Fail(socket_error::kInterrupted);
  }
  uint32_t error = 0;
  // The resolver cannot be woken: an interrupt meanwhile takes effect once it returns.
  std::string address = ResolveHost(host, &error);
  if (address.empty()) return Fail(error);
  intptr_t handle = socket_os::StartConnect(address, port, error);
  if (handle == socket_os::kNoHandle) return Fail(error);
  {
    std::lock_guard<std::mutex> lock(mutex_);
    if (handle_ != socket_os::kNoHandle || interrupted_) {
      socket_os::CloseSocket(handle);
      return Fail(interrupted_ ? socket_error::kInterrupted : kIsConnected);
    }
    handle_ = handle;
    closing_ = false;
  }
  Use use(*this);
  if (use.handle() == socket_os::kNoHandle) return Fail(socket_error::kInterrupted);
  if (error == socket_os::kWouldBlock) {
    error = Wait(use.handle(), true, timeoutMs);
    if (error == 0) error = socket_os::ConnectError(use.handle());
  }
  if (error != 0) {
    Close();
    return Fail(error);
  }
  error_ = 0;
  return true;
}

bool Socket::Send(const std::string& data, uint32_t timeoutMs) {
  Use use(*this);
  if (use.handle() == socket_os::kNoHandle) return FailClosed();
  auto deadline = SteadyClock::now() + std::chrono::milliseconds(timeoutMs);
  for (size_t sent = 0; sent < data.size();) {
    uint32_t error = Wait(use.handle(), true, MillisecondsLeft(deadline));
    if (error != 0) return Fail(error);
    long n = socket_os::Send(use.handle(), data.data() + sent, data.size() - sent, error);
    if (n < 0 && error != socket_os::kWouldBlock) return Fail(error);
    if (n > 0)
      sent += static_cast<size_t>(n);
    else if (MillisecondsLeft(deadline) == 0)
      return Fail(socket_error::kTimedOut);
  }
  error_ = 0;
  return true;
}

std::string Socket::Receive(size_t maxBytes, uint32_t timeoutMs) {
  std::string buffer(maxBytes, '\0');
  long n = -1;
  Use use(*this);
  uint32_t error = socket_error::kNotConnected;
  auto deadline = SteadyClock::now() + std::chrono::milliseconds(timeoutMs);
  // A readable socket may still have nothing to give: wait again until the
  // deadline.
  while (use.handle() != socket_os::kNoHandle) {
    error = Wait(use.handle(), false, MillisecondsLeft(deadline));
    if (error == 0) n = socket_os::Receive(use.handle(), buffer.data(), buffer.size(), error);
    if (n >= 0 || error != socket_os::kWouldBlock) break;
    if (MillisecondsLeft(deadline) == 0) {
      error = socket_error::kTimedOut;
      break;
    }
  }
  if (n < 0) {
    if (use.handle() == socket_os::kNoHandle)
      FailClosed();
    else
      Fail(error);
    return {};
  }
  error_ = 0;
  buffer.resize(static_cast<size_t>(n));
  return buffer;
}

bool Socket::WaitReadable(uint32_t timeoutMs) {
  Use use(*this);
  if (use.handle() == socket_os::kNoHandle) return FailClosed();
  uint32_t error = Wait(use.handle(), false, timeoutMs);
  if (error != 0) return Fail(error);
  error_ = 0;
  return true;
}

void Socket::Close() {
  std::lock_guard<std::mutex> lock(mutex_);
  if (handle_ == socket_os::kNoHandle || closing_) return;
  closing_ = true;
  socket_os::Shutdown(handle_);
  if (users_ == 0) {
    socket_os::CloseSocket(handle_);
    handle_ = socket_os::kNoHandle;
  }
}

void Socket::Interrupt() {
  {
    std::lock_guard<std::mutex> lock(mutex_);
    interrupted_ = true;
  }
  Close();
}

bool Socket::IsOpen() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return handle_ != socket_os::kNoHandle && !closing_;
}

void SocketCancel::Cancel() {
  std::lock_guard<std::mutex> lock(mutex_);
  cancelled_ = true;
  if (socket_) socket_->Interrupt();
}

void SocketCancel::Register(Socket* socket) {
  std::lock_guard<std::mutex> lock(mutex_);
  socket_ = socket;
  if (socket_ && cancelled_) socket_->Interrupt();
}

}  // namespace platform
