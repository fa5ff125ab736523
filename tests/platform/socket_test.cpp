// Client connections against listeners the tests open on loopback.
#include "platform/socket.h"

#include <gtest/gtest.h>

#include <chrono>
#include <future>
#include <thread>

#ifdef _WIN32
// clang-format off
#include <winsock2.h>
#include <ws2tcpip.h>
// clang-format on
using NativeSocket = SOCKET;
#else
#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/select.h>
#include <sys/socket.h>
#include <unistd.h>
using NativeSocket = int;
#define INVALID_SOCKET (-1)
#define closesocket close
#endif

namespace {

using platform::Socket;
namespace err = platform::socket_error;
using Clock = std::chrono::steady_clock;

long long MsSince(Clock::time_point start) {
  return std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - start).count();
}

// A listening socket on a free loopback port, and the one connection it accepts.
class Listener {
 public:
  explicit Listener(const std::string& address, int backlog = 4) {
#ifdef _WIN32
    static const bool started = [] {
      WSADATA data;
      return WSAStartup(MAKEWORD(2, 2), &data) == 0;
    }();
    if (!started) return;
#endif
    sockaddr_storage a{};
    socklen_t size;
    auto* v4 = reinterpret_cast<sockaddr_in*>(&a);
    auto* v6 = reinterpret_cast<sockaddr_in6*>(&a);
    if (inet_pton(AF_INET, address.c_str(), &v4->sin_addr) == 1) {
      v4->sin_family = AF_INET;
      size = sizeof *v4;
    } else {
      inet_pton(AF_INET6, address.c_str(), &v6->sin6_addr);
      v6->sin6_family = AF_INET6;
      size = sizeof *v6;
    }
    listening_ = socket(a.ss_family, SOCK_STREAM, 0);
    if (listening_ == INVALID_SOCKET) return;
    if (bind(listening_, reinterpret_cast<sockaddr*>(&a), size) != 0 ||
        listen(listening_, backlog) != 0 ||
        getsockname(listening_, reinterpret_cast<sockaddr*>(&a), &size) != 0) {
      Drop(listening_);
      return;
    }
    port_ = ntohs(a.ss_family == AF_INET ? v4->sin_port : v6->sin6_port);
  }
  ~Listener() {
    Drop(peer_);
    Drop(listening_);
  }
  uint16_t port() const {
    return port_;
  }  // 0 when the listener could not be made
  void StopListening() {
    Drop(listening_);
  }

  // Accepts the pending connection, waiting at most two seconds.
  bool Accept() {
    fd_set ready;
    FD_ZERO(&ready);
    FD_SET(listening_, &ready);
    timeval wait{2, 0};
    if (select(static_cast<int>(listening_) + 1, &ready, nullptr, nullptr, &wait) != 1)
      return false;
    peer_ = accept(listening_, nullptr, nullptr);
    if (peer_ == INVALID_SOCKET) return false;
      // Reads end after five seconds without data, so a fault cannot hang the test.
#ifdef _WIN32
    DWORD limit = 5000;
#else
    timeval limit{5, 0};
#endif
    setsockopt(peer_, SOL_SOCKET, SO_RCVTIMEO, reinterpret_cast<const char*>(&limit), sizeof limit);
    return true;
  }
  void Send(const std::string& data) {
    ASSERT_EQ(send(peer_, data.data(), static_cast<int>(data.size()), 0),
              static_cast<int>(data.size()));
  }
  // Reads until count bytes arrived or the connection ends.
  std::string Read(size_t count) {
    std::string got;
    char buffer[65536];
    while (got.size() < count) {
      int n = static_cast<int>(recv(peer_, buffer, sizeof buffer, 0));
      if (n <= 0) break;
      got.append(buffer, static_cast<size_t>(n));
    }
    return got;
  }
  void ClosePeer() {
    Drop(peer_);
  }

 private:
  static void Drop(NativeSocket& s) {
    if (s != INVALID_SOCKET) closesocket(s);
    s = INVALID_SOCKET;
  }
  NativeSocket listening_ = INVALID_SOCKET, peer_ = INVALID_SOCKET;
  uint16_t port_ = 0;
};

TEST(ResolveHost, LiteralsStayNamesResolveToIPv4) {
  uint32_t error = 1;
  EXPECT_EQ(platform::ResolveHost("localhost", &error), "127.0.0.1");
  EXPECT_EQ(error, 0u);
  for (const char* literal : {"127.0.0.1", "::1", "192.0.2.7", "fe80::1"})
    EXPECT_EQ(platform::ResolveHost(literal), literal);
  EXPECT_EQ(platform::ResolveHost("no-such-host.invalid", &error), "");
  // Without a name server the system may only say "try again".
  EXPECT_TRUE(error == err::kHostNotFound || error == 11002u) << error;
}

class Connection : public testing::TestWithParam<const char*> {};

TEST_P(Connection, CarriesBytesBothWaysAndTellsTimeOutFromClose) {
  Listener listener(GetParam());
  if (!listener.port()) GTEST_SKIP() << "no loopback listener on " << GetParam();
  Socket socket;
  ASSERT_TRUE(socket.Connect(GetParam(), listener.port(), 2000)) << socket.LastError();
  ASSERT_TRUE(listener.Accept());
  EXPECT_TRUE(socket.IsOpen());

  // More than the system buffers take at once: sent in parts.
  std::string big(4 << 20, 'x');
  for (size_t i = 0; i < big.size(); i += 4093) big[i] = static_cast<char>(i % 251);
  auto read = std::async(std::launch::async, [&] { return listener.Read(big.size()); });
  EXPECT_TRUE(socket.Send(big, 10000)) << socket.LastError();
  EXPECT_TRUE(read.get() == big);

  auto start = Clock::now();
  EXPECT_FALSE(socket.WaitReadable(200));
  EXPECT_EQ(socket.LastError(), err::kTimedOut);
  EXPECT_GE(MsSince(start), 150);
  EXPECT_LT(MsSince(start), 2000);
  EXPECT_EQ(socket.Receive(255, 100), "");
  EXPECT_EQ(socket.LastError(), err::kTimedOut);

  listener.Send("250 ok\r\n");
  EXPECT_TRUE(socket.WaitReadable(2000));
  EXPECT_EQ(socket.Receive(3, 2000), "250");
  EXPECT_EQ(socket.Receive(255, 2000), " ok\r\n");

  listener.ClosePeer();
  EXPECT_TRUE(socket.WaitReadable(2000));
  EXPECT_EQ(socket.Receive(255, 2000), "");
  EXPECT_EQ(socket.LastError(), 0u);

  socket.Close();
  EXPECT_FALSE(socket.IsOpen());
  EXPECT_FALSE(socket.Send("x", 100));
  EXPECT_EQ(socket.LastError(), err::kNotConnected);
}

INSTANTIATE_TEST_SUITE_P(Loopback, Connection, testing::Values("127.0.0.1", "::1"));

TEST(SocketConnect, ClosedPortIsRefused) {
  Listener listener("127.0.0.1");
  ASSERT_NE(listener.port(), 0);
  listener.StopListening();
  Socket socket;
  EXPECT_FALSE(socket.Connect("127.0.0.1", listener.port(), 5000));
  EXPECT_EQ(socket.LastError(), err::kRefused);
  EXPECT_FALSE(socket.IsOpen());
  EXPECT_FALSE(socket.Connect("no-such-host.invalid", 25, 5000));
  EXPECT_NE(socket.LastError(), 0u);
}

TEST(SocketConnect, UnansweredAttemptEndsAtTheTimeOut) {
  // Once a listener's queue is full, Linux drops further connection requests
  // unanswered (Windows refuses them: then there is nothing to measure).
  Listener listener("127.0.0.1", 0);
  ASSERT_NE(listener.port(), 0);
  Socket sockets[8];
  for (Socket& socket : sockets) {
    auto start = Clock::now();
    if (socket.Connect("127.0.0.1", listener.port(), 300)) continue;
    long long elapsed = MsSince(start);
    if (socket.LastError() != err::kTimedOut) GTEST_SKIP() << "refused: " << socket.LastError();
    EXPECT_GE(elapsed, 250);
    EXPECT_LT(elapsed, 3000);
    EXPECT_FALSE(socket.IsOpen());
    return;
  }
  GTEST_SKIP() << "the listener took every connection";
}

TEST(SocketClose, FromAnotherThreadWakesAWaitingReceive) {
  Listener listener("127.0.0.1");
  ASSERT_NE(listener.port(), 0);
  Socket socket;
  ASSERT_TRUE(socket.Connect("127.0.0.1", listener.port(), 2000));
  ASSERT_TRUE(listener.Accept());
  auto start = Clock::now();
  auto received = std::async(std::launch::async, [&] { return socket.Receive(255, 10000); });
  std::this_thread::sleep_for(std::chrono::milliseconds(100));
  socket.Close();
  ASSERT_EQ(received.wait_for(std::chrono::seconds(3)), std::future_status::ready);
  EXPECT_EQ(received.get(), "");
  EXPECT_EQ(socket.LastError(), err::kInterrupted);
  EXPECT_LT(MsSince(start), 3000);
  // The peer sees the connection end.
  EXPECT_EQ(listener.Read(1), "");
  socket.Close();
}

// A cancel interrupts the connection registered when it comes: a wait in
// progress fails with kInterrupted, not at its time-out.
TEST(SocketCancel, InterruptsTheRegisteredConnection) {
  Listener listener("127.0.0.1");
  ASSERT_NE(listener.port(), 0);
  Socket socket;
  platform::SocketCancel cancel;
  cancel.Register(&socket);
  ASSERT_TRUE(socket.Connect("127.0.0.1", listener.port(), 2000));
  ASSERT_TRUE(listener.Accept());
  auto received = std::async(std::launch::async, [&] { return socket.Receive(255, 60000); });
  cancel.Cancel();  // before or while the receive waits: the outcome is the same
  ASSERT_EQ(received.wait_for(std::chrono::seconds(5)), std::future_status::ready);
  EXPECT_EQ(received.get(), "");
  EXPECT_EQ(socket.LastError(), err::kInterrupted);
  EXPECT_FALSE(socket.IsOpen());
  EXPECT_EQ(listener.Read(1), "");  // the peer sees the connection end
  cancel.Register(nullptr);
}

// A connection that has not begun when the cancel comes (its name still being
// resolved, or a redirect's next request) never starts.
TEST(SocketCancel, AConnectionNotYetMadeNeverStarts) {
  Listener listener("127.0.0.1");
  ASSERT_NE(listener.port(), 0);
  for (bool registeredFirst : {true, false}) {
    SCOPED_TRACE(registeredFirst ? "registered before the cancel" : "registered after it");
    Socket socket;
    platform::SocketCancel cancel;
    if (registeredFirst) cancel.Register(&socket);
    cancel.Cancel();
    if (!registeredFirst) cancel.Register(&socket);
    EXPECT_FALSE(socket.Connect("127.0.0.1", listener.port(), 2000));
    EXPECT_EQ(socket.LastError(), err::kInterrupted);
    EXPECT_FALSE(socket.IsOpen());
    EXPECT_FALSE(socket.Send("x", 100));
    EXPECT_EQ(socket.LastError(), err::kInterrupted);
    cancel.Register(nullptr);
  }
}

}  // namespace
