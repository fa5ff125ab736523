// The network parameters through the IP helper API, from iphlpapi.dll of the
// system folder.
// clang-format off
#include <winsock2.h>
#include <ws2tcpip.h>
#include <iphlpapi.h>
// clang-format on

#include "platform/network.h"

#include <cstring>

#include "platform/win32/system_dll.h"
#include "platform/win32/windows_api.h"

namespace platform {
namespace {

// Storage aligned for the structures the IP helper writes.
using Buffer = std::vector<ULONGLONG>;

// Calls query(buffer, size) with a buffer grown to the size it asks for; the
// needed size may change between calls as adapters come and go. Empty when
// the query fails.
template <typename Query>
Buffer QueryGrowing(ULONG size, Query query) {
  Buffer buffer;
  for (int attempt = 0; attempt < 4; ++attempt) {
    buffer.assign(size / sizeof(ULONGLONG) + 1, 0);
    size = static_cast<ULONG>(buffer.size() * sizeof(ULONGLONG));
    ULONG result = query(buffer.data(), &size);
    if (result == ERROR_SUCCESS) return buffer;
    if (result != ERROR_BUFFER_OVERFLOW) break;
  }
  return {};
}

std::string AddressText(const SOCKADDR* address) {
  char text[INET6_ADDRSTRLEN];
  const char* done = nullptr;
  if (address->sa_family == AF_INET)
    done = inet_ntop(AF_INET, &reinterpret_cast<const SOCKADDR_IN*>(address)->sin_addr, text,
                     sizeof text);
  else if (address->sa_family == AF_INET6)
    done = inet_ntop(AF_INET6, &reinterpret_cast<const SOCKADDR_IN6*>(address)->sin6_addr, text,
                     sizeof text);
  return done ? std::string(done) : std::string();
}

}  // namespace

std::vector<std::string> DnsServers() {
  std::vector<std::string> servers;
  // The buffer holds FIXED_INFO and the further list entries after it.
  static auto* const query = ORVIK_SYSTEM_FUNCTION(L"iphlpapi.dll", GetNetworkParams);
  if (!query) return servers;
  Buffer buffer = QueryGrowing(sizeof(FIXED_INFO), [](ULONGLONG* data, ULONG* size) {
    return query(reinterpret_cast<FIXED_INFO*>(data), size);
  });
  if (buffer.empty()) return servers;
  const auto* info = reinterpret_cast<const FIXED_INFO*>(buffer.data());
  for (const IP_ADDR_STRING* entry = &info->DnsServerList; entry; entry = entry->Next) {
    // The text field is fixed in size and need not be terminated.
    const char* text = entry->IpAddress.String;
    std::string address(text, strnlen(text, sizeof entry->IpAddress.String));
    if (!address.empty()) servers.push_back(address);
  }
  return servers;
}

std::vector<std::string> LocalAddresses() {
  std::vector<std::string> addresses;
  const ULONG flags = GAA_FLAG_SKIP_ANYCAST | GAA_FLAG_SKIP_MULTICAST | GAA_FLAG_SKIP_DNS_SERVER;
  static auto* const query = ORVIK_SYSTEM_FUNCTION(L"iphlpapi.dll", GetAdaptersAddresses);
  if (!query) return addresses;
  Buffer buffer = QueryGrowing(16 * 1024, [flags](ULONGLONG* data, ULONG* size) {
    return query(AF_UNSPEC, flags, nullptr, reinterpret_cast<IP_ADAPTER_ADDRESSES*>(data), size);
  });
  if (buffer.empty()) return addresses;
  for (const auto* adapter = reinterpret_cast<const IP_ADAPTER_ADDRESSES*>(buffer.data()); adapter;
       adapter = adapter->Next) {
    for (const IP_ADAPTER_UNICAST_ADDRESS* unicast = adapter->FirstUnicastAddress; unicast;
         unicast = unicast->Next) {
      if (!unicast->Address.lpSockaddr) continue;
      std::string text = AddressText(unicast->Address.lpSockaddr);
      if (!text.empty()) addresses.push_back(text);
    }
  }
  return addresses;
}

}  // namespace platform
