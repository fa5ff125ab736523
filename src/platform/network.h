// The network parameters of the machine, as the server configuration records them.
#pragma once

#include <string>
#include <vector>

namespace platform {

// The DNS servers the system resolves names with, in the system's order, as
// address texts ("192.0.2.53"; IPv6 servers in their usual form where the
// system lists them). Empty when the system names none.
std::vector<std::string> DnsServers();

// The machine's own IP addresses as texts, loopback included: IPv4 dotted,
// IPv6 in the usual compressed form ("::1", "fe80::1"), without a zone.
std::vector<std::string> LocalAddresses();

}  // namespace platform
