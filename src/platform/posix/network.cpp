// The network parameters from the native resolver configuration and interfaces.
#include "platform/network.h"

#include <arpa/inet.h>
#include <ifaddrs.h>
#include <netinet/in.h>
#include <sys/socket.h>

#include <fstream>
#include <sstream>

#include "platform/posix/posix_platform.h"

namespace platform {
namespace {

// An address as the resolver accepts it: IPv4 dotted, or IPv6 with an
// optional "%zone".
bool IsServerAddress(const std::string& text) {
  unsigned char bytes[sizeof(in6_addr)];
  if (inet_pton(AF_INET, text.c_str(), bytes) == 1) return true;
  std::string address = text.substr(0, text.find('%'));
  if (address.size() + 1 == text.size()) return false;  // "%" without a zone
  return inet_pton(AF_INET6, address.c_str(), bytes) == 1;
}

}  // namespace

namespace posix {

// The resolver reads a line as a server when it starts with the keyword
// itself, followed by a blank or tab; the address is the next word, ended by
// a blank or by a comment mark. Lines starting with '#' or ';' are comments.
std::vector<std::string> ParseResolvConf(const std::string& text) {
  static const std::string keyword = "nameserver";
  static const char* const blanks = " \t\r";
  std::vector<std::string> servers;
  std::istringstream lines(text);
  std::string line;
  while (std::getline(lines, line)) {
    if (line.compare(0, keyword.size(), keyword) != 0 || line.size() == keyword.size() ||
        (line[keyword.size()] != ' ' && line[keyword.size()] != '\t'))
      continue;
    size_t start = line.find_first_not_of(blanks, keyword.size());
    if (start == std::string::npos) continue;
    size_t end = line.find_first_of(" \t\r;#", start);
    std::string address = line.substr(start, end == std::string::npos ? end : end - start);
    if (IsServerAddress(address)) servers.push_back(address);
  }
  return servers;
}

}  // namespace posix

std::vector<std::string> DnsServers() {
  std::ifstream file("/etc/resolv.conf", std::ios::binary);
  if (!file) return {};
  std::ostringstream text;
  text << file.rdbuf();
  return posix::ParseResolvConf(text.str());
}

std::vector<std::string> LocalAddresses() {
  std::vector<std::string> addresses;
  ifaddrs* list = nullptr;
  if (getifaddrs(&list) != 0) return addresses;
  for (const ifaddrs* entry = list; entry; entry = entry->ifa_next) {
    const sockaddr* address = entry->ifa_addr;
    if (!address) continue;
    char text[INET6_ADDRSTRLEN];
    const char* done = nullptr;
    if (address->sa_family == AF_INET)
      done = inet_ntop(AF_INET, &reinterpret_cast<const sockaddr_in*>(address)->sin_addr, text,
                       sizeof text);
    else if (address->sa_family == AF_INET6)
      done = inet_ntop(AF_INET6, &reinterpret_cast<const sockaddr_in6*>(address)->sin6_addr, text,
                       sizeof text);
    if (done) addresses.push_back(text);
  }
  freeifaddrs(list);
  return addresses;
}

}  // namespace platform
