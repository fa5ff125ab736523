// Windows sockets.
// clang-format off
#include <winsock2.h>
#include <ws2tcpip.h>
// clang-format on

#include "platform/socket_os.h"

namespace platform::socket_os {
namespace {

// Windows sockets are started once for the process, on first use.
bool Started() {
  static const bool started = [] {
    WSADATA data;
    return WSAStartup(MAKEWORD(2, 2), &data) == 0;
  }();
  return started;
}

SOCKET Native(intptr_t handle) {
  return static_cast<SOCKET>(handle);
}

uint32_t LastCode() {
  return static_cast<uint32_t>(WSAGetLastError());
}

// A literal address as a socket address; false when the text is none.
bool ParseAddress(const std::string& text, uint16_t port, sockaddr_storage& target, int& size) {
  target = {};
  auto* v4 = reinterpret_cast<sockaddr_in*>(&target);
  auto* v6 = reinterpret_cast<sockaddr_in6*>(&target);
  if (inet_pton(AF_INET, text.c_str(), &v4->sin_addr) == 1) {
    v4->sin_family = AF_INET;
    v4->sin_port = htons(port);
    size = sizeof *v4;
    return true;
  }
  if (inet_pton(AF_INET6, text.c_str(), &v6->sin6_addr) == 1) {
    v6->sin6_family = AF_INET6;
    v6->sin6_port = htons(port);
    size = sizeof *v6;
    return true;
  }
  return false;
}

}  // namespace

bool IsAddress(const std::string& text) {
  sockaddr_storage target;
  int size = 0;
  return Started() && ParseAddress(text, 0, target, size);
}

std::string ResolveIPv4(const std::string& name, uint32_t& error) {
  if (!Started()) {
    error = WSANOTINITIALISED;
    return {};
  }
  addrinfo hints{};
  hints.ai_family = AF_INET;
  hints.ai_socktype = SOCK_STREAM;
  addrinfo* found = nullptr;
  int result = getaddrinfo(name.c_str(), nullptr, &hints, &found);
  if (result != 0 || !found) {
    error = result != 0 ? static_cast<uint32_t>(result) : WSAHOST_NOT_FOUND;
    return {};
  }
  char text[INET_ADDRSTRLEN] = {};
  inet_ntop(AF_INET, &reinterpret_cast<sockaddr_in*>(found->ai_addr)->sin_addr, text, sizeof text);
  freeaddrinfo(found);
  error = 0;
  return text;
}

intptr_t StartConnect(const std::string& address, uint16_t port, uint32_t& error) {
  sockaddr_storage target{};
  int size = 0;
  if (!Started() || !ParseAddress(address, port, target, size)) {
    error = Started() ? WSAEINVAL : WSANOTINITIALISED;
    return kNoHandle;
  }
  SOCKET s = socket(target.ss_family, SOCK_STREAM, IPPROTO_TCP);
  if (s == INVALID_SOCKET) {
    error = LastCode();
    return kNoHandle;
  }
  // Not inherited by the programs the setup starts.
  SetHandleInformation(reinterpret_cast<HANDLE>(s), HANDLE_FLAG_INHERIT, 0);
  u_long nonBlocking = 1;
  if (ioctlsocket(s, FIONBIO, &nonBlocking) != 0) {
    error = LastCode();
    closesocket(s);
    return kNoHandle;
  }
  if (connect(s, reinterpret_cast<sockaddr*>(&target), size) == 0) {
    error = 0;
    return static_cast<intptr_t>(s);
  }
  error = LastCode();
  if (error == kWouldBlock) return static_cast<intptr_t>(s);
  closesocket(s);
  return kNoHandle;
}

uint32_t ConnectError(intptr_t handle) {
  int value = 0;
  int size = sizeof value;
  if (getsockopt(Native(handle), SOL_SOCKET, SO_ERROR, reinterpret_cast<char*>(&value), &size) != 0)
    return LastCode();
  return static_cast<uint32_t>(value);
}

int Wait(intptr_t handle, bool write, uint32_t timeoutMs, uint32_t& error) {
  fd_set ready, failed;
  FD_ZERO(&ready);
  FD_ZERO(&failed);
  FD_SET(Native(handle), &ready);
  // A failed connection shows in the exception set, not the write set.
  FD_SET(Native(handle), &failed);
  timeval limit{static_cast<long>(timeoutMs / 1000), static_cast<long>(timeoutMs % 1000) * 1000};
  int result = select(0, write ? nullptr : &ready, write ? &ready : nullptr, &failed, &limit);
  if (result == SOCKET_ERROR) {
    error = LastCode();
    return -1;
  }
  return result > 0 ? 1 : 0;
}

long Send(intptr_t handle, const char* data, size_t size, uint32_t& error) {
  int n = send(Native(handle), data, static_cast<int>(size < (1u << 30) ? size : (1u << 30)), 0);
  if (n == SOCKET_ERROR) error = LastCode();
  return n;
}

long Receive(intptr_t handle, char* buffer, size_t size, uint32_t& error) {
  int n = recv(Native(handle), buffer, static_cast<int>(size < (1u << 30) ? size : (1u << 30)), 0);
  if (n == SOCKET_ERROR) error = LastCode();
  return n;
}

void Shutdown(intptr_t handle) {
  shutdown(Native(handle), SD_BOTH);
}

void CloseSocket(intptr_t handle) {
  closesocket(Native(handle));
}

}  // namespace platform::socket_os
