// BSD sockets, with errno reported as the Windows socket error codes.
#include "platform/socket_os.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netdb.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>

namespace platform::socket_os {
namespace {

uint32_t WindowsCode(int error) {
  // EINPROGRESS is what Windows reports as "would block" for a pending connect;
  // EPIPE is a send after a shutdown.
  static const struct {
    int error;
    uint32_t code;
  } codes[] = {{EINTR, 10004},        {EBADF, 10009},
               {EACCES, 10013},       {EFAULT, 10014},
               {EINVAL, 10022},       {EMFILE, 10024},
               {EAGAIN, kWouldBlock}, {EINPROGRESS, kWouldBlock},
               {EALREADY, 10037},     {ENOTSOCK, 10038},
               {EMSGSIZE, 10040},     {EAFNOSUPPORT, 10047},
               {EADDRINUSE, 10048},   {EADDRNOTAVAIL, 10049},
               {ENETDOWN, 10050},     {ENETUNREACH, 10051},
               {ECONNABORTED, 10053}, {ECONNRESET, 10054},
               {ENOBUFS, 10055},      {EISCONN, 10056},
               {ENOTCONN, 10057},     {EPIPE, 10058},
               {ETIMEDOUT, 10060},    {ECONNREFUSED, 10061},
               {EHOSTDOWN, 10064},    {EHOSTUNREACH, 10065}};
  for (const auto& c : codes)
    if (c.error == error) return c.code;
  return 10022;  // invalid argument: the nearest general failure
}

uint32_t ResolverCode(int result) {
  switch (result) {
    case EAI_NONAME:
      return 11001;  // host not found
    case EAI_AGAIN:
      return 11002;  // try again
#ifdef EAI_NODATA
    case EAI_NODATA:
      return 11004;  // no address for the name
#endif
    case EAI_SYSTEM:
      return WindowsCode(errno);
    default:
      return 11003;  // no recovery
  }
}

uint32_t LastCode() {
  return WindowsCode(errno);
}

}  // namespace

bool IsAddress(const std::string& text) {
  unsigned char bytes[16];
  return inet_pton(AF_INET, text.c_str(), bytes) == 1 ||
         inet_pton(AF_INET6, text.c_str(), bytes) == 1;
}

std::string ResolveIPv4(const std::string& name, uint32_t& error) {
  addrinfo hints{};
  hints.ai_family = AF_INET;
  hints.ai_socktype = SOCK_STREAM;
  addrinfo* found = nullptr;
  int result = getaddrinfo(name.c_str(), nullptr, &hints, &found);
  if (result != 0 || !found) {
    error = result != 0 ? ResolverCode(result) : 11001;
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
  socklen_t size = 0;
  auto* v4 = reinterpret_cast<sockaddr_in*>(&target);
  auto* v6 = reinterpret_cast<sockaddr_in6*>(&target);
  if (inet_pton(AF_INET, address.c_str(), &v4->sin_addr) == 1) {
    v4->sin_family = AF_INET;
    v4->sin_port = htons(port);
    size = sizeof *v4;
  } else if (inet_pton(AF_INET6, address.c_str(), &v6->sin6_addr) == 1) {
    v6->sin6_family = AF_INET6;
    v6->sin6_port = htons(port);
    size = sizeof *v6;
  } else {
    error = 10022;
    return kNoHandle;
  }
  // Not inherited by the programs the setup starts.
  int fd = socket(target.ss_family, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
  if (fd < 0) {
    error = LastCode();
    return kNoHandle;
  }
  if (connect(fd, reinterpret_cast<sockaddr*>(&target), size) == 0) {
    error = 0;
    return fd;
  }
  error = LastCode();
  if (error == kWouldBlock) return fd;
  close(fd);
  return kNoHandle;
}

uint32_t ConnectError(intptr_t handle) {
  int value = 0;
  socklen_t size = sizeof value;
  if (getsockopt(static_cast<int>(handle), SOL_SOCKET, SO_ERROR, &value, &size) != 0)
    return LastCode();
  return value == 0 ? 0 : WindowsCode(value);
}

int Wait(intptr_t handle, bool write, uint32_t timeoutMs, uint32_t& error) {
  pollfd p{static_cast<int>(handle), static_cast<short>(write ? POLLOUT : POLLIN), 0};
  int result = poll(&p, 1, static_cast<int>(timeoutMs));
  if (result < 0 && errno == EINTR) return 0;  // the caller waits again until its deadline
  if (result < 0) error = LastCode();
  return result;
}

long Send(intptr_t handle, const char* data, size_t size, uint32_t& error) {
  // No SIGPIPE when the peer has gone: the failure comes back as EPIPE.
  ssize_t n = send(static_cast<int>(handle), data, size, MSG_NOSIGNAL);
  if (n < 0) error = LastCode();
  return static_cast<long>(n);
}

long Receive(intptr_t handle, char* buffer, size_t size, uint32_t& error) {
  ssize_t n = recv(static_cast<int>(handle), buffer, size, 0);
  if (n < 0) error = errno == EINTR ? kWouldBlock : LastCode();
  return static_cast<long>(n);
}

void Shutdown(intptr_t handle) {
  shutdown(static_cast<int>(handle), SHUT_RDWR);
}

void CloseSocket(intptr_t handle) {
  close(static_cast<int>(handle));
}

}  // namespace platform::socket_os
