// The operating system's sockets beneath platform::Socket, one implementation
// in win32/ and one in posix/. Handles are non-blocking; failures return
// Windows socket error codes.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

namespace platform::socket_os {

constexpr intptr_t kNoHandle = -1;
constexpr uint32_t kWouldBlock = 10035;

// A literal IPv4 or IPv6 address.
bool IsAddress(const std::string& text);
// The first IPv4 address of a host name, or empty with error set.
std::string ResolveIPv4(const std::string& name, uint32_t& error);
// A new non-blocking socket that starts connecting to a literal address.
// error is 0 when the connection is made, kWouldBlock while it is in progress,
// otherwise the failure (and no handle is returned).
intptr_t StartConnect(const std::string& address, uint16_t port, uint32_t& error);
// The outcome of a connection attempt once the socket is writable.
uint32_t ConnectError(intptr_t handle);
// 1 when ready to read (or write; a failed connection counts as ready), 0 after
// timeoutMs, -1 on a failure with error set.
int Wait(intptr_t handle, bool write, uint32_t timeoutMs, uint32_t& error);
// Bytes moved, 0 when the peer closed (Receive), -1 with error set.
long Send(intptr_t handle, const char* data, size_t size, uint32_t& error);
long Receive(intptr_t handle, char* buffer, size_t size, uint32_t& error);
// Ends both directions, which wakes a wait on the socket where the system does.
void Shutdown(intptr_t handle);
void CloseSocket(intptr_t handle);

}  // namespace platform::socket_os
