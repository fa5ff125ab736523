// Stand-in for the server's database library (db.dll; db.so natively), so that
// the database storage of the configuration can run end to end. It keeps a
// small store of its own in "<library>.store" beside the library: loaded at the
// first call after the library is loaded, rewritten (a temporary file beside
// it, renamed over it) after every change. A missing or damaged store file is
// an empty store.
//
// Each entry call appends one line to "<library>.calls": the entry's name and
// its text and number arguments, separated by single spaces ("(null)" for a
// missing text), e.g. "DBAddDomain example.com". While "<library>.fail" exists
// every entry fails (0, -1 or no handle), or, when the file names entries, one
// a line ("DBGetDomains"), the entries it names.
//
// Records are kept as the caller hands them over; the store reads only the
// alias list of an account record. Null pointers and indexes out of range are
// failures, never faults.
#ifdef _WIN32
#include <windows.h>
#define STANDIN_EXPORT __declspec(dllexport)
#else
#include <dlfcn.h>
#include <unistd.h>
#define STANDIN_EXPORT __attribute__((visibility("default")))
#endif

#include <algorithm>
#include <array>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <mutex>
#include <optional>
#include <set>
#include <string>
#include <string_view>
#include <type_traits>
#include <vector>

#include "serverconfig/database_entries.h"

namespace {

constexpr size_t kDomainEntrySize = 96;
constexpr size_t kMaxDomainName = kDomainEntrySize - 1;
constexpr size_t kDomainRecordSize = 1169;
constexpr size_t kAccountRecordSize = 2848;
constexpr size_t kAliasOffset = 260;  // length byte, then up to 255 characters

using DomainRecord = std::array<unsigned char, kDomainRecordSize>;
using AccountRecord = std::array<unsigned char, kAccountRecordSize>;

struct Domain {
  std::string name;  // lower case, 1 to 95 characters
  DomainRecord record{};
  std::string addresses;
  std::vector<AccountRecord> accounts;
};

struct Store {
  bool loaded = false;
  std::vector<Domain> domains;
};

// An iteration of DBInitUsers. It reads the accounts as they are at each step.
struct Iteration {
  std::string domain;
  std::string filter;
  bool filtered = false;
  size_t next = 0;
};

std::mutex storeMutex;
Store store;
std::set<Iteration*> iterations;  // the handles given out and not yet done

// ---- Files beside the library ----

// The full path of this library, or "" when the system does not tell.
std::string LibraryPath() {
#ifdef _WIN32
  HMODULE self = nullptr;
  if (!GetModuleHandleExA(
          GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
          reinterpret_cast<LPCSTR>(&LibraryPath), &self))
    return {};
  char path[MAX_PATH * 4];
  DWORD length = GetModuleFileNameA(self, path, sizeof path);
  if (length == 0 || length >= sizeof path) return {};
  return std::string(path, length);
#else
  Dl_info info;
  if (!dladdr(reinterpret_cast<void*>(&LibraryPath), &info) || !info.dli_fname) return {};
  return info.dli_fname;
#endif
}

std::string Beside(const char* suffix) {
  std::string path = LibraryPath();
  return path.empty() ? path : path + suffix;
}

bool Exists(const std::string& path) {
#ifdef _WIN32
  return GetFileAttributesA(path.c_str()) != INVALID_FILE_ATTRIBUTES;
#else
  return access(path.c_str(), F_OK) == 0;
#endif
}

// One argument of a recorded call; made without allocating.
struct Arg {
  Arg(const char* text) : text(text), isText(true) {}
  Arg(int number) : number(number) {}
  const char* text = nullptr;
  int number = 0;
  bool isText = false;
};

void RecordCall(const char* entry, std::initializer_list<Arg> args) {
  std::string line = entry;
  for (const Arg& arg : args) {
    line += ' ';
    if (!arg.isText) {
      line += std::to_string(arg.number);
    } else if (!arg.text) {
      line += "(null)";
    } else {
      // One call, one line, whatever the text holds.
      for (const char* c = arg.text; *c; ++c)
        line += static_cast<unsigned char>(*c) < 0x20 ? '?' : *c;
    }
  }
  line += '\n';
  std::string path = Beside(".calls");
  if (path.empty()) return;
  if (std::FILE* file = std::fopen(path.c_str(), "ab")) {
    std::fwrite(line.data(), 1, line.size(), file);
    std::fclose(file);
  }
}

// ---- The store file ----
// "ORVIKDB1", the number of domains, then per domain: the name (a length byte
// and the characters), the domain record, the addresses (32-bit length and
// text), the number of accounts and their records. Numbers are 32-bit little
// endian. A 32-bit FNV-1a sum of everything before it ends the file.

constexpr char kMagic[] = "ORVIKDB1";
constexpr size_t kMagicSize = sizeof kMagic - 1;

uint32_t Checksum(const unsigned char* data, size_t size) {
  uint32_t sum = 2166136261u;
  for (size_t i = 0; i < size; ++i) sum = (sum ^ data[i]) * 16777619u;
  return sum;
}

void PutNumber(std::vector<unsigned char>& out, uint32_t value) {
  for (int shift = 0; shift < 32; shift += 8)
    out.push_back(static_cast<unsigned char>(value >> shift));
}

template <typename Bytes>
void PutBytes(std::vector<unsigned char>& out, const Bytes& bytes) {
  out.insert(out.end(), bytes.begin(), bytes.end());
}

std::vector<unsigned char> Encode(const Store& data) {
  std::vector<unsigned char> out(kMagic, kMagic + kMagicSize);
  PutNumber(out, static_cast<uint32_t>(data.domains.size()));
  for (const Domain& domain : data.domains) {
    out.push_back(static_cast<unsigned char>(domain.name.size()));
    PutBytes(out, domain.name);
    PutBytes(out, domain.record);
    PutNumber(out, static_cast<uint32_t>(domain.addresses.size()));
    PutBytes(out, domain.addresses);
    PutNumber(out, static_cast<uint32_t>(domain.accounts.size()));
    for (const AccountRecord& account : domain.accounts) PutBytes(out, account);
  }
  PutNumber(out, Checksum(out.data(), out.size()));
  return out;
}

// Reads the encoded store, refusing anything that runs past its end.
class Decoder {
 public:
  Decoder(const unsigned char* data, size_t size) : data_(data), size_(size) {}
  bool Bytes(void* out, size_t count) {
    if (count > size_ - pos_) return false;
    if (count) std::memcpy(out, data_ + pos_, count);
    pos_ += count;
    return true;
  }
  bool Number(uint32_t& value) {
    unsigned char bytes[4];
    if (!Bytes(bytes, 4)) return false;
    value = bytes[0] | bytes[1] << 8 | bytes[2] << 16 | static_cast<uint32_t>(bytes[3]) << 24;
    return true;
  }
  bool Text(std::string& out, size_t count) {
    if (count > size_ - pos_) return false;
    out.assign(reinterpret_cast<const char*>(data_ + pos_), count);
    pos_ += count;
    return true;
  }
  size_t Left() const { return size_ - pos_; }

 private:
  const unsigned char* data_;
  size_t size_;
  size_t pos_ = 0;
};

bool IsDomainName(const std::string& name) {
  if (name.empty() || name.size() > kMaxDomainName) return false;
  for (char c : name)
    if (c == '\0' || (c >= 'A' && c <= 'Z')) return false;
  return true;
}

std::optional<std::vector<Domain>> Decode(const std::vector<unsigned char>& bytes) {
  if (bytes.size() < kMagicSize + 8 || std::memcmp(bytes.data(), kMagic, kMagicSize) != 0)
    return std::nullopt;
  size_t body = bytes.size() - 4;
  Decoder sum(bytes.data() + body, 4);
  uint32_t expected = 0;
  if (!sum.Number(expected) || expected != Checksum(bytes.data(), body)) return std::nullopt;

  Decoder in(bytes.data() + kMagicSize, body - kMagicSize);
  uint32_t count = 0;
  if (!in.Number(count)) return std::nullopt;
  std::vector<Domain> domains;
  std::set<std::string> names;
  for (uint32_t i = 0; i < count; ++i) {
    Domain domain;
    unsigned char length = 0;
    uint32_t addressLength = 0, accounts = 0;
    if (!in.Bytes(&length, 1) || !in.Text(domain.name, length) || !IsDomainName(domain.name) ||
        !names.insert(domain.name).second || !in.Bytes(domain.record.data(), kDomainRecordSize) ||
        !in.Number(addressLength) || !in.Text(domain.addresses, addressLength) ||
        !in.Number(accounts) || accounts > in.Left() / kAccountRecordSize)
      return std::nullopt;
    domain.accounts.resize(accounts);
    for (AccountRecord& account : domain.accounts) in.Bytes(account.data(), kAccountRecordSize);
    domains.push_back(std::move(domain));
  }
  if (in.Left() != 0) return std::nullopt;
  return domains;
}

std::vector<unsigned char> ReadWhole(const std::string& path) {
  std::vector<unsigned char> bytes;
  std::FILE* file = std::fopen(path.c_str(), "rb");
  if (!file) return bytes;
  unsigned char buffer[65536];
  for (size_t n; (n = std::fread(buffer, 1, sizeof buffer, file)) > 0;)
    bytes.insert(bytes.end(), buffer, buffer + n);
  bool failed = std::ferror(file) != 0;
  std::fclose(file);
  if (failed) bytes.clear();
  return bytes;
}

void EnsureLoaded() {
  if (store.loaded) return;
  std::string path = Beside(".store");
  std::optional<std::vector<Domain>> domains;
  if (!path.empty()) domains = Decode(ReadWhole(path));
  store.domains = domains ? std::move(*domains) : std::vector<Domain>{};
  store.loaded = true;
}

bool Save(const Store& data) {
  std::string path = Beside(".store");
  if (path.empty()) return false;
  std::string temporary = path + ".tmp";
  std::vector<unsigned char> bytes = Encode(data);
  std::FILE* file = std::fopen(temporary.c_str(), "wb");
  if (!file) return false;
  bool written = std::fwrite(bytes.data(), 1, bytes.size(), file) == bytes.size();
  written = std::fflush(file) == 0 && written;
  written = std::fclose(file) == 0 && written;
#ifdef _WIN32
  written = written && MoveFileExA(temporary.c_str(), path.c_str(),
                                   MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH);
#else
  written = written && std::rename(temporary.c_str(), path.c_str()) == 0;
#endif
  if (!written) std::remove(temporary.c_str());
  return written;
}

// Applies a change and writes the store. When the change fails or cannot be
// written, the store is left as it was and the result is failure.
template <typename Change>
int Modify(Change change) {
  Store before = store;
  if (change(store) && Save(store)) return 1;
  store = std::move(before);
  return 0;
}

// While the fail file exists every entry fails, or, when it names entries (one
// a line), those it names.
bool Failing(const char* entry) {
  std::string path = Beside(".fail");
  if (path.empty()) return true;
  if (!Exists(path)) return false;
  std::vector<unsigned char> bytes = ReadWhole(path);
  std::string text(bytes.begin(), bytes.end());
  if (text.find_first_not_of("\r\n") == std::string::npos) return true;
  for (size_t start = 0; start < text.size();) {
    size_t end = std::min(text.find_first_of("\r\n", start), text.size());
    if (text.compare(start, end - start, entry) == 0) return true;
    start = end + 1;
  }
  return false;
}

// Runs an entry: records the call, answers failure while it is failing, and
// turns every exception into failure.
template <typename Result, typename Body>
Result Run(Result failure, const char* entry, std::initializer_list<Arg> args, Body body) {
  try {
    std::lock_guard<std::mutex> guard(storeMutex);
    RecordCall(entry, args);
    if (Failing(entry)) return failure;
    EnsureLoaded();
    return body();
  } catch (...) {
    return failure;
  }
}

// ---- Names and aliases ----

char Lower(char c) {
  return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
}

bool SameText(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i)
    if (Lower(a[i]) != Lower(b[i])) return false;
  return true;
}

// "*" matches any run of characters, "?" any one; letters match without
// regard to case.
bool MatchesMask(std::string_view mask, std::string_view text) {
  size_t m = 0, t = 0;
  size_t star = std::string_view::npos, resume = 0;
  while (t < text.size()) {
    if (m < mask.size() && mask[m] == '*') {
      star = m++;
      resume = t;
    } else if (m < mask.size() && (mask[m] == '?' || Lower(mask[m]) == Lower(text[t]))) {
      ++m;
      ++t;
    } else if (star != std::string_view::npos) {
      m = star + 1;
      t = ++resume;
    } else {
      return false;
    }
  }
  while (m < mask.size() && mask[m] == '*') ++m;
  return m == mask.size();
}

// The entries of a ";"-separated list, empty ones left out.
std::vector<std::string_view> SplitAliases(std::string_view list) {
  std::vector<std::string_view> entries;
  size_t pos = 0;
  while (pos <= list.size()) {
    size_t end = list.find(';', pos);
    if (end == std::string_view::npos) end = list.size();
    if (end > pos) entries.push_back(list.substr(pos, end - pos));
    pos = end + 1;
  }
  return entries;
}

std::string_view AliasList(const AccountRecord& record) {
  const char* text = reinterpret_cast<const char*>(record.data() + kAliasOffset + 1);
  size_t length = record[kAliasOffset];
  if (const void* end = std::memchr(text, '\0', length))
    length = static_cast<const char*>(end) - text;
  return std::string_view(text, length);
}

// Whether a stored alias stands for the asked name: the same text, or, for a
// stored entry that begins with "[", the rest of it as a mask.
bool AliasMatches(std::string_view stored, std::string_view asked) {
  if (SameText(stored, asked)) return true;
  return !stored.empty() && stored[0] == '[' && MatchesMask(stored.substr(1), asked);
}

bool SharesAlias(const AccountRecord& record, const std::vector<std::string_view>& asked) {
  for (std::string_view stored : SplitAliases(AliasList(record)))
    for (std::string_view name : asked)
      if (AliasMatches(stored, name)) return true;
  return false;
}

bool PassesFilter(const AccountRecord& record, const Iteration& iteration) {
  if (!iteration.filtered) return true;
  for (std::string_view alias : SplitAliases(AliasList(record)))
    if (MatchesMask(iteration.filter, alias)) return true;
  return false;
}

// The stored form of a name the caller gives: lower case, 1 to 95 characters.
std::optional<std::string> DomainKey(const char* name) {
  if (!name) return std::nullopt;
  std::string key;
  for (const char* c = name; *c; ++c) {
    if (key.size() == kMaxDomainName) return std::nullopt;
    key += Lower(*c);
  }
  if (key.empty()) return std::nullopt;
  return key;
}

Domain* FindDomain(Store& data, const char* name) {
  std::optional<std::string> key = DomainKey(name);
  if (!key) return nullptr;
  for (Domain& domain : data.domains)
    if (domain.name == *key) return &domain;
  return nullptr;
}

// The named domain, added at the end when missing; none for an unusable name.
Domain* DomainOrNew(Store& data, const char* name) {
  if (Domain* domain = FindDomain(data, name)) return domain;
  std::optional<std::string> key = DomainKey(name);
  if (!key) return nullptr;
  data.domains.push_back(Domain{});
  data.domains.back().name = *key;
  return &data.domains.back();
}

int Count(size_t n) {
  return static_cast<int>(n);
}

}  // namespace

// ---- The entries ----

extern "C" {

STANDIN_EXPORT int DBGetDomainCount(void) {
  return Run(0, "DBGetDomainCount", {}, [] { return Count(store.domains.size()); });
}

STANDIN_EXPORT int DBGetDomains(void* entries, int capacity) {
  return Run(0, "DBGetDomains", {capacity}, [&] {
    if (!entries || capacity < 0) return 0;
    size_t filled = std::min(store.domains.size(), static_cast<size_t>(capacity));
    auto* out = static_cast<unsigned char*>(entries);
    for (size_t i = 0; i < filled; ++i) {
      unsigned char* entry = out + i * kDomainEntrySize;
      const std::string& name = store.domains[i].name;
      std::memset(entry, 0, kDomainEntrySize);
      entry[0] = static_cast<unsigned char>(name.size());
      std::memcpy(entry + 1, name.data(), name.size());
    }
    return Count(filled);
  });
}

STANDIN_EXPORT int DBAddDomain(const char* name) {
  return Run(0, "DBAddDomain", {name}, [&] {
    if (FindDomain(store, name)) return 1;
    return Modify([&](Store& data) { return DomainOrNew(data, name) != nullptr; });
  });
}

STANDIN_EXPORT int DBGetDomain(const char* name, void* record) {
  return Run(0, "DBGetDomain", {name}, [&] {
    const Domain* domain = FindDomain(store, name);
    if (!domain || !record) return 0;
    std::memcpy(record, domain->record.data(), kDomainRecordSize);
    return 1;
  });
}

STANDIN_EXPORT int DBSetDomain(const char* name, const void* record) {
  return Run(0, "DBSetDomain", {name}, [&] {
    if (!record) return 0;
    return Modify([&](Store& data) {
      Domain* domain = DomainOrNew(data, name);
      if (domain) std::memcpy(domain->record.data(), record, kDomainRecordSize);
      return domain != nullptr;
    });
  });
}

STANDIN_EXPORT int DBSetDomainIP(const char* name, const char* addresses) {
  return Run(0, "DBSetDomainIP", {name, addresses}, [&] {
    if (!addresses) return 0;
    return Modify([&](Store& data) {
      Domain* domain = FindDomain(data, name);
      if (domain) domain->addresses = addresses;
      return domain != nullptr;
    });
  });
}

STANDIN_EXPORT int DBMakeDomainPrimary(const char* name) {
  return Run(0, "DBMakeDomainPrimary", {name}, [&] {
    return Modify([&](Store& data) {
      Domain* domain = FindDomain(data, name);
      if (domain && domain != &data.domains.front()) std::swap(*domain, data.domains.front());
      return domain != nullptr;
    });
  });
}

STANDIN_EXPORT int DBGetTotalUsers(const char* domain) {
  return Run(0, "DBGetTotalUsers", {domain}, [&] {
    if (domain && !*domain) {
      size_t total = 0;
      for (const Domain& each : store.domains) total += each.accounts.size();
      return Count(total);
    }
    const Domain* found = FindDomain(store, domain);
    return found ? Count(found->accounts.size()) : 0;
  });
}

STANDIN_EXPORT int DBGetUsers(const char* domain, void* record, int index) {
  return Run(0, "DBGetUsers", {domain, index}, [&] {
    const Domain* found = FindDomain(store, domain);
    if (!found || !record) return 0;
    if (index >= 0 && static_cast<size_t>(index) < found->accounts.size())
      std::memcpy(record, found->accounts[index].data(), kAccountRecordSize);
    return Count(found->accounts.size());
  });
}

STANDIN_EXPORT int DBGetUsersIndex(const char* domain, const char* alias) {
  return Run(-1, "DBGetUsersIndex", {domain, alias}, [&] {
    const Domain* found = FindDomain(store, domain);
    if (!found || !alias) return -1;
    std::vector<std::string_view> asked = SplitAliases(alias);
    for (size_t i = 0; i < found->accounts.size(); ++i)
      if (SharesAlias(found->accounts[i], asked)) return Count(i);
    return -1;
  });
}

// Every known domain has an iteration, one without accounts too. The skipped
// accounts are the first ones by index, before the filter is applied; the
// filter matches when one of an account's aliases fits the mask.
STANDIN_EXPORT void* DBInitUsers(const char* domain, const char* filter, int filterFlag, int skip) {
  return Run<void*>(nullptr, "DBInitUsers", {domain, filter, filterFlag, skip}, [&]() -> void* {
    const Domain* found = FindDomain(store, domain);
    if (!found || skip < 0 || (filterFlag && !filter)) return nullptr;
    auto* iteration = new Iteration{found->name, filterFlag ? filter : "", filterFlag != 0,
                                    static_cast<size_t>(skip)};
    iterations.insert(iteration);
    return iteration;
  });
}

STANDIN_EXPORT int DBNextUser(void* handle, void* record, int* index) {
  return Run(0, "DBNextUser", {}, [&] {
    auto* iteration = static_cast<Iteration*>(handle);
    if (!iterations.count(iteration) || !record || !index) return 0;
    const Domain* found = FindDomain(store, iteration->domain.c_str());
    if (!found) return 0;
    while (iteration->next < found->accounts.size()) {
      size_t at = iteration->next++;
      if (!PassesFilter(found->accounts[at], *iteration)) continue;
      std::memcpy(record, found->accounts[at].data(), kAccountRecordSize);
      *index = Count(at);
      return 1;
    }
    return 0;
  });
}

STANDIN_EXPORT void DBDoneUsers(void* handle) {
  // The handle is released even while the entries fail.
  try {
    std::lock_guard<std::mutex> guard(storeMutex);
    RecordCall("DBDoneUsers", {});
    auto* iteration = static_cast<Iteration*>(handle);
    if (iterations.erase(iteration)) delete iteration;
  } catch (...) {
  }
}

STANDIN_EXPORT int DBSaveUsers(const char* domain, const void* record, int* index) {
  return Run(0, "DBSaveUsers", {domain, index ? *index : -1}, [&] {
    if (!record || !index) return 0;
    return Modify([&](Store& data) {
      const Domain* existing = FindDomain(data, domain);
      int count = existing ? Count(existing->accounts.size()) : 0;
      if (*index < -1 || *index > count) return false;
      Domain* target = DomainOrNew(data, domain);
      if (!target) return false;
      AccountRecord copy;
      std::memcpy(copy.data(), record, kAccountRecordSize);
      if (*index == -1 || *index == count) {
        target->accounts.push_back(copy);
        *index = count;
      } else {
        target->accounts[*index] = copy;
      }
      return true;
    });
  });
}

STANDIN_EXPORT void DBDoneConnection(void) {
  try {
    std::lock_guard<std::mutex> guard(storeMutex);
    RecordCall("DBDoneConnection", {});
  } catch (...) {
  }
}

}  // extern "C"

// The entries have the types the product calls them by.
static_assert(std::is_same_v<decltype(DBGetDomainCount), DBGetDomainCountFunc>);
static_assert(std::is_same_v<decltype(DBGetDomains), DBGetDomainsFunc>);
static_assert(std::is_same_v<decltype(DBAddDomain), DBAddDomainFunc>);
static_assert(std::is_same_v<decltype(DBGetDomain), DBGetDomainFunc>);
static_assert(std::is_same_v<decltype(DBSetDomain), DBSetDomainFunc>);
static_assert(std::is_same_v<decltype(DBSetDomainIP), DBSetDomainIPFunc>);
static_assert(std::is_same_v<decltype(DBMakeDomainPrimary), DBMakeDomainPrimaryFunc>);
static_assert(std::is_same_v<decltype(DBGetTotalUsers), DBGetTotalUsersFunc>);
static_assert(std::is_same_v<decltype(DBGetUsers), DBGetUsersFunc>);
static_assert(std::is_same_v<decltype(DBGetUsersIndex), DBGetUsersIndexFunc>);
static_assert(std::is_same_v<decltype(DBInitUsers), DBInitUsersFunc>);
static_assert(std::is_same_v<decltype(DBNextUser), DBNextUserFunc>);
static_assert(std::is_same_v<decltype(DBDoneUsers), DBDoneUsersFunc>);
static_assert(std::is_same_v<decltype(DBSaveUsers), DBSaveUsersFunc>);
static_assert(std::is_same_v<decltype(DBDoneConnection), DBDoneConnectionFunc>);
