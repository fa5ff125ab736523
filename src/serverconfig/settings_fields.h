// The fields of the settings record (settings.cfg) that this program reads,
// writes or defaults. Every other byte belongs to the server and passes from
// load to save unchanged.
#pragma once

#include <cstddef>

namespace serverconfig::settings {

constexpr std::size_t kRecordSize = 29454;

// Strings: offset and field size (a length byte and the characters).
constexpr std::size_t kHostName = 0, kHostNameSize = 128;
constexpr std::size_t kTempDir = 256, kMailDir = 512, kLogsDir = 768, kDirSize = 256;
constexpr std::size_t kAddressListA = 1048, kLocalAddresses = 1176, kDnsServers = 1304;
constexpr std::size_t kAddressListSize = 128;
constexpr std::size_t kBounceSender = 1477, kBounceSenderSize = 14;
constexpr std::size_t kBounceName = 1509, kBounceNameSize = 24;
constexpr std::size_t kAddressListB = 2356, kAddressListBSize = 256;
constexpr std::size_t kHeldDir = 3385, kHeldDirSize = 241;
constexpr std::size_t kAddressListC = 3641;
constexpr std::size_t kTrustedAddresses = 24759, kTrustedAddressesSize = 256;
// The administration console's profile: "advanced.xml" or "basic.xml".
constexpr std::size_t kConsoleProfile = 21428, kConsoleProfileSize = 13;
constexpr std::size_t kGroupwareUser = 26710, kGroupwarePassword = 26838, kGroupwareSize = 128;

// Bytes.
constexpr std::size_t kSubdomainLiterals = 155;  // address literals name domains
constexpr std::size_t kEncryptPasswords = 187;
constexpr std::size_t kFormatMarker = 255;
constexpr std::size_t kFooterSwitch = 1463;  // 1: messages get the footer of tags.dat
constexpr std::size_t kWelcomeMessages = 1473;
constexpr std::size_t kFirstProcessorOnly = 1542;
constexpr std::size_t kStorageMode = 3633;  // 0 or 1 files, 2 database
constexpr std::size_t kDomainsConverted = 7001;
constexpr std::size_t kPathDelimiter = 22121;
constexpr std::size_t kNoRecordCaches = 26966;
constexpr std::size_t kArchiveDomains = 28051;
constexpr std::size_t kAuditLog = 28067;
constexpr std::size_t kLocalAddressesInUse = 1474;  // 0: the local address list is not used
constexpr std::size_t kResolverByte = 1476;         // a resolver parameter, default 3

// Numbers.
constexpr std::size_t kWebAdminPort = 1036;        // 16 bits
constexpr std::size_t kAccountCacheMemory = 233;   // 32 bits, MiB
constexpr std::size_t kDomainCount = 7020;         // 32 bits
constexpr std::size_t kCreationDate = 20336;       // day number
constexpr std::size_t kHeldValue = 22122;          // 16 bits, taken out on load
constexpr std::size_t kPreviousLoadValue = 22142;  // 32 bits
constexpr std::size_t kAccountCacheSize = 26971;   // 32 bits
constexpr std::size_t kResolverValue = 22136;      // 32 bits, a resolver parameter, default 1
// Values whose unit became smaller in 8.5.7 (32 bits; 28059 is not aligned).
constexpr std::size_t kScaledBy60 = 7012;
constexpr std::size_t kScaledBy1440 = 7016;
constexpr std::size_t kScaledBy1024 = 28059;

// Domain names in older layouts.
constexpr std::size_t kOldDomainTable = 7024, kOldDomainNameSize = 128;
constexpr std::size_t kInlineDomains = 20344;

constexpr unsigned kStorageDatabase = 2;

}  // namespace serverconfig::settings
