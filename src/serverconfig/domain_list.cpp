#include "serverconfig/domain_list.h"

#include <algorithm>
#include <cstring>

#include "platform/files.h"
#include "platform/network.h"
#include "serverconfig/config_store.h"
#include "serverconfig/record_cache.h"
#include "serverconfig/scramble.h"
#include "support/file_utils.h"
#include "support/text_fields.h"

namespace serverconfig {
namespace {

using namespace settings;
using domain::kEntrySize;

// A name fills at most the whole field; the field's last byte is also the bind
// flag, so a name of 95 characters has its last character there. New domains
// keep clear of it (kMaxNewDomainName), stored ones are kept as they are.
constexpr std::size_t kMaxName = domain::kEntrySize - 1;
constexpr uint32_t kOldTableEntries = 100;
constexpr std::size_t kOldEntrySize = 32;
constexpr int kDatabaseDomainLimit = 1 << 20;
constexpr int kRecordCacheSize = 256;

// Index values are objects of the name index.
class TIndexEntry : public support::TObject {
 public:
  explicit TIndexEntry(int position) : Position(position) {}
  int Position;  // index plus one
};

std::string EntryName(const uint8_t* entry) {
  std::size_t length = std::min<std::size_t>(entry[0], kMaxName);
  return std::string(reinterpret_cast<const char*>(entry + 1), length);
}

// True when the name fills the field, its last character taking the flag's byte.
bool NameHoldsFlag(const uint8_t* entry) {
  return entry[0] >= kMaxName;
}

void SetEntryName(uint8_t* entry, std::string_view name) {
  // The last character of a name that filled the field was no bind flag.
  if (NameHoldsFlag(entry)) entry[domain::kBindFlag] = 0;
  std::size_t length = std::min(name.size(), kMaxName);
  std::memset(entry + 1, 0, domain::kBindFlag - 1);  // the bind flag stays
  entry[0] = static_cast<uint8_t>(length);
  std::memcpy(entry + 1, name.data(), length);
}

}  // namespace

std::string DomainFolder(const std::string& configDir, const std::string& name) {
  bool folder = !name.empty() && name != "." && name != ".." &&
                name.find_first_of(std::string("\\/:\0", 4)) == std::string::npos;
  return folder ? configDir + support::LowerCase(name) + "\\" : "";
}

TDomainList::TDomainList(TConfigStore& store) : store_(store) {}

TDomainList::~TDomainList() {
  index_.ClearAndFree();
}

int TDomainList::DomainCount() const {
  return static_cast<int>(std::min<uint32_t>(store_.Settings.DWord(kDomainCount), capacity_));
}

void TDomainList::SetCount(int count) {
  store_.Settings.SetDWord(kDomainCount, count);
}

std::string TDomainList::DomainName(int index) const {
  if (index < 0 || index >= capacity_) return "";
  return EntryName(Entry(index));
}

bool TDomainList::LoadDomains() {
  std::lock_guard<std::recursive_mutex> hold(store_.Lock);
  if (!LoadFromDatabase()) {
    LoadFromFiles();
    ConvertOldLayouts();
  }
  RebuildIndex();
  loaded_ = true;
  return true;
}

bool TDomainList::LoadFromDatabase() {
  if (!store_.BindDatabase()) return false;
  using E = TDatabaseLibrary::Entries;
  int count = store_.Database.Call(&E::GetDomainCount, 0);
  if (count <= 0) return false;
  capacity_ = std::min(count, kDatabaseDomainLimit);
  entries_.assign(static_cast<std::size_t>(capacity_) * kEntrySize, 0);
  int filled =
      store_.Database.Call(&E::GetDomains, 0, static_cast<void*>(entries_.data()), capacity_);
  // A library that names domains but delivers none gave no list: the files
  // keep theirs, and the count stays what settings.cfg holds.
  if (filled <= 0) return false;
  SetCount(std::min(filled, capacity_));
  return true;
}

void TDomainList::LoadFromFiles() {
  std::string list_file = store_.Dirs.ConfigDir + "domains.cfg";
  bool own_file = platform::FileExists(list_file);
  std::string source = own_file ? list_file : store_.Dirs.ConfigDir + "settings.cfg";
  int64_t offset = own_file ? 0 : static_cast<int64_t>(kInlineDomains);
  int64_t remaining = std::max<int64_t>(platform::FileSize(source) - offset, 0);

  uint32_t count = store_.Settings.DWord(kDomainCount);
  if (own_file && count == 0) count = static_cast<uint32_t>(remaining / kEntrySize);
  // A count that no file could hold is cut to what the file holds (or what the
  // oldest name table could name), so that a damaged count allocates nothing.
  uint64_t held = (static_cast<uint64_t>(remaining) + kEntrySize - 1) / kEntrySize;
  count =
      static_cast<uint32_t>(std::min<uint64_t>(count, std::max<uint64_t>(held, kOldTableEntries)));
  capacity_ = static_cast<int>(count);
  SetCount(capacity_);
  entries_.assign(static_cast<std::size_t>(capacity_) * kEntrySize, 0);

  platform::File file;
  if (!file.Open(source, platform::File::Mode::Read) || !file.Seek(offset)) return;
  int64_t wanted = std::min<int64_t>(remaining, static_cast<int64_t>(entries_.size()));
  int64_t got = wanted > 0 ? file.Read(entries_.data(), wanted) : 0;
  if (got > 0 && !own_file)
    ScrambleBytes(entries_.data(), static_cast<std::size_t>(got), kInlineDomains);
  // Entries the file does not hold are no domains, unless the names come from
  // the oldest table (the list's first name is then empty).
  if (capacity_ > 0 && static_cast<uint64_t>(capacity_) > held && !EntryName(Entry(0)).empty())
    SetCount(static_cast<int>(held));
}

void TDomainList::ConvertOldLayouts() {
  TFixedRecord& s = store_.Settings;
  int count = DomainCount();
  if (count != 0 && EntryName(Entry(0)).empty()) {
    count = std::min<int>(count, kOldTableEntries);
    if (!s.Str(kOldDomainTable, kOldDomainNameSize).empty()) {
      std::vector<std::string> names;
      for (int i = 0; i < count; ++i)
        names.push_back(s.Str(kOldDomainTable + i * kOldDomainNameSize, kOldDomainNameSize));
      SetCount(0);
      for (const std::string& name : names) AddDomain(name);
    } else {
      SetCount(0);
    }
  }
  if (s.Byte(kDomainsConverted) == 0) {
    for (int n = DomainCount() - 1; n >= 0; --n) {
      const uint8_t* old = &entries_[static_cast<std::size_t>(n) * kOldEntrySize];
      std::string name(reinterpret_cast<const char*>(old + 1),
                       std::min<std::size_t>(old[0], kOldEntrySize - 1));
      std::memset(Entry(n), 0, kEntrySize);
      SetEntryName(Entry(n), name);
    }
    s.SetByte(kDomainsConverted, 1);
  }
}

void TDomainList::RebuildIndex() {
  index_.ClearAndFree();
  for (int i = 0; i < DomainCount(); ++i) {
    // Lower-cased in place: every other byte of the entry stays as stored.
    std::string name = support::LowerCase(EntryName(Entry(i)));
    std::memcpy(Entry(i) + 1, name.data(), name.size());
    // A name listed twice is found at its first place.
    if (IndexOf(name) < 0) index_.Add(name, new TIndexEntry(i + 1));
  }
}

bool TDomainList::SaveDomains() {
  std::lock_guard<std::recursive_mutex> hold(store_.Lock);
  // A list never loaded is not the stored one: writing it would empty the file.
  if (!loaded_) return false;
  std::string bytes(reinterpret_cast<const char*>(entries_.data()),
                    static_cast<std::size_t>(DomainCount()) * kEntrySize);
  return support::ReplaceFileContent(store_.Dirs.ConfigDir + "domains.cfg", bytes);
}

void TDomainList::SetDomainName(int index, std::string_view name) {
  std::lock_guard<std::recursive_mutex> hold(store_.Lock);
  if (index < 0 || index >= DomainCount()) return;
  std::string old_name = EntryName(Entry(index));
  if (IndexOf(old_name) == index) delete index_.Remove(old_name);
  std::string lower = support::LowerCase(name.substr(0, kMaxName));
  SetEntryName(Entry(index), lower);
  delete index_.Remove(lower);
  index_.Add(lower, new TIndexEntry(index + 1));
}

bool TDomainList::AddDomain(std::string_view name, int growBy) {
  std::lock_guard<std::recursive_mutex> hold(store_.Lock);
  int count = DomainCount();
  if (count >= capacity_ || growBy > 1) {
    capacity_ = count + std::max(growBy, 1);
    entries_.resize(static_cast<std::size_t>(capacity_) * kEntrySize, 0);
  }
  if (!name.empty()) {
    std::string lower = support::LowerCase(name.substr(0, kMaxName));
    std::memset(Entry(count), 0, kEntrySize);
    SetEntryName(Entry(count), lower);
    delete index_.Remove(lower);
    index_.Add(lower, new TIndexEntry(count + 1));
    SetCount(count + 1);
  }
  return true;
}

int TDomainList::IndexOf(const std::string& lowerName) const {
  auto* entry = static_cast<TIndexEntry*>(index_.Get(lowerName));
  return entry ? entry->Position - 1 : -1;
}

bool TDomainList::DomainExists(std::string_view name) {
  return FindDomain(name) >= 0;
}

int TDomainList::FindDomain(std::string_view name) {
  std::lock_guard<std::recursive_mutex> hold(store_.Lock);
  std::string lower = support::LowerCase(name);
  std::size_t at = lower.rfind('@');
  if (at != std::string::npos && lower.find(':') == std::string::npos) lower = lower.substr(at + 1);
  int found = IndexOf(lower);
  if (found < 0 && store_.Settings.Byte(kSubdomainLiterals) != 0 &&
      lower.find('[') != std::string::npos)
    found = FindAddressLiteral(lower);
  if (found < 0 && store_.HasSubdomainsFile) found = FindSubdomain(lower);
  return found;
}

int TDomainList::FindAddressLiteral(std::string literal) {
  if (literal.size() >= 2 && literal.front() == '[' && literal.back() == ']')
    literal = literal.substr(1, literal.size() - 2);
  if (DomainCount() == 0) return -1;
  if (Entry(0)[domain::kBindFlag] == 0) {
    for (const std::string& own : platform::LocalAddresses())
      if (support::SameText(own, literal)) return 0;
    return -1;
  }
  for (int i = 0; i < DomainCount(); ++i)
    if (support::ListsIntersect(DomainBind(i), literal, ';')) return i;
  return -1;
}

int TDomainList::FindSubdomain(const std::string& name) {
  std::string text = support::LoadFileToString(store_.Dirs.ConfigDir + "subdomains.dat");
  std::vector<std::string> lines;
  support::SplitToList(text, '\n', lines, true);
  for (const std::string& raw : lines) {
    std::string line = support::LowerCase(support::TrimBlanks(support::StripComments(raw)));
    std::size_t equals = line.find('=');
    if (equals == std::string::npos) continue;
    std::string pattern = support::TrimBlanks(line.substr(0, equals));
    std::string target = support::TrimBlanks(line.substr(equals + 1));
    if (!support::WildcardMatch(name, pattern)) continue;
    if (target == name) return -1;
    int found = IndexOf(target);
    return found >= 0 ? found : (DomainCount() > 0 ? 0 : -1);
  }
  return -1;
}

bool TDomainList::ReadDomainRecord(std::string_view name, TFixedRecord& record) {
  record.Clear();
  std::string lower = support::LowerCase(name);
  int index = FindDomain(lower);
  if (index >= 0) lower = DomainName(index);
  std::string folder = DomainFolder(store_.Dirs.ConfigDir, lower);
  if (folder.empty()) return false;

  if (store_.UsesDatabase())
    return store_.Database.Call(&TDatabaseLibrary::Entries::GetDomain, 0, lower.c_str(),
                                static_cast<void*>(record.Data())) != 0;

  // Only records read from their files are cached.
  std::string file = folder + "domain.cfg";
  double stamp = 0;
  platform::GetFileModified(file, stamp);
  std::lock_guard<std::recursive_mutex> hold(store_.Lock);
  if (cache_) {
    auto* cached = static_cast<TDomainCacheObject*>(cache_->Get(lower));
    if (cached && cached->IsCurrent(stamp)) {
      std::memcpy(record.Data(), cached->Record.Data(), record.Size());
      return true;
    }
  }
  platform::File input;
  if (!input.Open(file, platform::File::Mode::Read)) return false;
  int64_t read = input.Read(record.Data(), static_cast<int64_t>(record.Size()));
  if (read < 0) return false;
  ScrambleBytes(record.Data(), static_cast<std::size_t>(read));
  if (cache_ && TRecordCacheObject::Settled(stamp)) {
    delete cache_->Remove(lower);
    cache_->Add(lower, new TDomainCacheObject(record, stamp));
  }
  return true;
}

bool TDomainList::WriteDomainRecord(const TFixedRecord& record, int index, bool isNew,
                                    const std::string& who) {
  std::string dir = DomainFolder(store_.Dirs.ConfigDir, DomainName(index));
  if (dir.empty()) return false;
  std::string name = DomainName(index);
  if (store_.UsesDatabase())
    store_.Database.Call(&TDatabaseLibrary::Entries::SetDomain, 0, name.c_str(),
                         static_cast<const void*>(record.Data()));

  bool written;
  {
    std::lock_guard<std::recursive_mutex> hold(store_.Lock);
    written = support::ReplaceFileContent(dir + "domain.cfg", ScrambledCopy(record));
    if (cache_) delete cache_->Remove(name);
  }
  if (written) store_.Audit(who, isNew, name);
  return written;
}

void TDomainList::MakePrimaryDomain(int index) {
  std::lock_guard<std::recursive_mutex> hold(store_.Lock);
  if (index <= 0 || index >= DomainCount()) return;
  std::string primary = DomainName(0), other = DomainName(index);
  std::string primary_bind = DomainBind(0), other_bind = DomainBind(index);
  SetDomainName(0, other);
  SetDomainName(index, primary);
  SetDomainBind(0, other_bind);
  SetDomainBind(index, primary_bind);
  if (store_.UsesDatabase())
    store_.Database.Call(&TDatabaseLibrary::Entries::MakeDomainPrimary, 0, other.c_str());
}

std::string TDomainList::DomainBind(int index) {
  std::lock_guard<std::recursive_mutex> hold(store_.Lock);
  if (index < 0 || index >= DomainCount() || Entry(index)[domain::kBindFlag] == 0) return "";
  std::string dir = DomainFolder(store_.Dirs.ConfigDir, DomainName(index));
  if (dir.empty()) return "";
  std::string text = support::LoadFileToString(dir + "bind.dat");
  return support::TrimBlanks(text.substr(0, text.find_first_of("\r\n")));
}

void TDomainList::SetDomainBind(int index, const std::string& addresses) {
  std::lock_guard<std::recursive_mutex> hold(store_.Lock);
  if (index < 0 || index >= DomainCount()) return;
  std::string dir = DomainFolder(store_.Dirs.ConfigDir, DomainName(index));
  if (dir.empty()) return;
  support::SaveStringToFile(addresses, dir + "bind.dat", true);
  if (store_.UsesDatabase())
    store_.Database.Call(&TDatabaseLibrary::Entries::SetDomainIP, 0, DomainName(index).c_str(),
                         addresses.c_str());
  // A name that fills the field keeps its last character; bind.dat alone then
  // tells whether the domain has addresses of its own.
  if (!NameHoldsFlag(Entry(index))) Entry(index)[domain::kBindFlag] = addresses.empty() ? 0 : 1;
}

void TDomainList::CreateRecordCache() {
  if (store_.Settings.Byte(kNoRecordCaches) != 0) {
    cache_.reset();
    return;
  }
  cache_ = std::make_unique<support::TExpireHashObjectCollection>(kRecordCacheSize);
}

}  // namespace serverconfig
