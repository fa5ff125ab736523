#include "serverconfig/account_store.h"

#include <algorithm>
#include <climits>
#include <cstring>
#include <vector>

#include "serverconfig/config_store.h"
#include "serverconfig/name_rules.h"
#include "serverconfig/record_cache.h"
#include "serverconfig/scramble.h"
#include "support/file_utils.h"
#include "support/text_fields.h"

namespace serverconfig {
namespace {

using namespace account;
using Entries = TDatabaseLibrary::Entries;
using Storage = TConfigStore::Storage;

constexpr int64_t kRecord = static_cast<int64_t>(kRecordSize);
constexpr int kRecordsPerRead = 64;
constexpr int kDatabaseCacheAge = 15;  // packed time units, about 30 seconds
constexpr uint32_t kActiveFileAbove = 65535;
constexpr uint8_t kKeepResponder = 2;

std::string FirstAlias(const TFixedRecord& record) {
  return support::GetField(record.Str(kAlias, kAliasSize), 0, ';');
}

// A stored alias entry matches an asked name: the same name without regard to
// case, or, for an entry beginning with "[", its wildcard pattern.
bool AliasMatches(const std::string& stored, const std::string& asked) {
  if (!stored.empty() && stored[0] == '[')
    return support::WildcardMatch(support::LowerCase(asked), support::LowerCase(stored.substr(1)));
  return support::SameText(stored, asked);
}

bool AliasListsShare(const std::string& storedList, const std::string& askedList) {
  std::vector<std::string> stored, asked;
  support::SplitToList(storedList, ';', stored, true);
  support::SplitToList(askedList, ';', asked, true);
  for (const std::string& s : stored)
    for (const std::string& a : asked)
      if (AliasMatches(s, a)) return true;
  return false;
}

// The alias list of a record as stored (scrambled).
std::string StoredAliases(const uint8_t* scrambledRecord) {
  uint8_t field[kAliasSize];
  std::memcpy(field, scrambledRecord + kAlias, kAliasSize);
  ScrambleBytes(field, kAliasSize, kAlias);
  return std::string(reinterpret_cast<const char*>(field + 1), field[0]);
}

void DecryptUserPassword(TFixedRecord& record) {
  if (record.Byte(kKind) != kUser) return;
  record.SetStr(kPassword, kPasswordSize, DecryptPassword(record.Str(kPassword, kPasswordSize)));
}

}  // namespace

TAccountStore::TAccountStore(TConfigStore& store) : store_(store) {}
TAccountStore::~TAccountStore() = default;

std::string TAccountStore::UsersFile(const std::string& domain) const {
  std::string folder = DomainFolder(store_.Dirs.ConfigDir, domain);
  return folder.empty() ? "" : folder + "users.cfg";
}

int TAccountStore::AccountCount(const std::string& domain) {
  Storage storage = store_.AccountStorage();
  if (storage == Storage::Database)
    return store_.Database.Call(&Entries::GetTotalUsers, 0, support::LowerCase(domain).c_str());
  if (storage == Storage::Unavailable) return 0;
  std::vector<std::string> domains;
  if (domain.empty()) {
    for (int i = 0; i < store_.Domains.DomainCount(); ++i)
      domains.push_back(store_.Domains.DomainName(i));
  } else {
    domains.push_back(domain);
  }
  int64_t total = 0;
  std::lock_guard<std::recursive_mutex> hold(store_.Lock);
  for (const std::string& name : domains) {
    std::string file = UsersFile(name);
    if (!file.empty()) total += std::max<int64_t>(platform::FileSize(file), 0) / kRecord;
  }
  return static_cast<int>(std::min<int64_t>(total, INT32_MAX));
}

int TAccountStore::ReadAccount(const std::string& domain, TFixedRecord& record, int index) {
  record.Clear();
  Storage storage = store_.AccountStorage();
  if (storage == Storage::Database)
    return store_.Database.Call(&Entries::GetUsers, 0, support::LowerCase(domain).c_str(),
                                static_cast<void*>(record.Data()), index);
  if (storage == Storage::Unavailable) return 0;
  std::lock_guard<std::recursive_mutex> hold(store_.Lock);
  platform::File file;
  std::string name = UsersFile(domain);
  if (name.empty() || !file.Open(name, platform::File::Mode::Read)) return 0;
  int64_t count = file.Size() / kRecord;
  if (index >= 0 && index < count && file.Seek(index * kRecord) &&
      file.Read(record.Data(), kRecord) == kRecord) {
    ScrambleBytes(record.Data(), record.Size());
    DecryptUserPassword(record);
  } else {
    record.Clear();
  }
  return static_cast<int>(std::min<int64_t>(count, INT32_MAX));
}

int TAccountStore::FindAccount(const std::string& domain, const std::string& alias) {
  Storage storage = store_.AccountStorage();
  if (storage == Storage::Database)
    return store_.Database.Call(&Entries::GetUsersIndex, -1, support::LowerCase(domain).c_str(),
                                alias.c_str());
  if (storage == Storage::Unavailable) return -1;
  std::string name = UsersFile(domain);
  if (name.empty() || alias.empty()) return -1;

  std::lock_guard<std::recursive_mutex> hold(store_.Lock);
  std::string key = support::LowerCase(domain) + "\\" + support::LowerCase(alias);
  double stamp = 0;
  platform::GetFileModified(name, stamp);
  platform::File file;
  if (!file.Open(name, platform::File::Mode::Read)) return -1;
  std::vector<uint8_t> block(static_cast<std::size_t>(kRecord) * kRecordsPerRead);
  if (cache_) {
    auto* cached = static_cast<TAccountCacheObject*>(cache_->Get(key));
    if (cached && cached->IsCurrent(stamp)) return cached->Index;
  }
  for (int64_t first = 0;; first += kRecordsPerRead) {
    int64_t got = file.Read(block.data(), static_cast<int64_t>(block.size()));
    int64_t records = got > 0 ? got / kRecord : 0;
    for (int64_t r = 0; r < records; ++r) {
      const uint8_t* scrambled = block.data() + r * kRecord;
      if (!AliasListsShare(StoredAliases(scrambled), alias)) continue;
      int index = static_cast<int>(first + r);
      if (cache_ && TRecordCacheObject::Settled(stamp)) {
        TFixedRecord record(kRecordSize);
        std::memcpy(record.Data(), scrambled, kRecordSize);
        ScrambleBytes(record.Data(), record.Size());
        delete cache_->Remove(key);
        cache_->Add(key, new TAccountCacheObject(record, stamp, index));
      }
      return index;
    }
    if (got < static_cast<int64_t>(block.size())) return -1;
  }
}

bool TAccountStore::OpenAccounts(const std::string& domain, TAccountIterator& iterator,
                                 const std::string& filter, bool filterOn, int skip) {
  CloseAccounts(iterator);
  iterator.Domain = support::LowerCase(domain).substr(0, 95);
  iterator.Filter = filter;
  iterator.FilterOn = filterOn;
  iterator.Index = -1;
  iterator.Count = 0;
  Storage storage = store_.AccountStorage();
  if (storage == Storage::Database) {
    iterator.DatabaseIteration =
        store_.Database.Call(&Entries::InitUsers, static_cast<void*>(nullptr),
                             iterator.Domain.c_str(), filter.c_str(), filterOn ? 1 : 0, skip);
    iterator.Open = iterator.DatabaseIteration != nullptr;
    return iterator.Open;
  }
  if (storage == Storage::Unavailable) return false;
  std::lock_guard<std::recursive_mutex> hold(store_.Lock);
  std::string name = UsersFile(domain);
  if (name.empty() || !iterator.File.Open(name, platform::File::Mode::Read)) return false;
  iterator.Count = iterator.File.Size() / kRecord;
  iterator.Open = true;
  if (skip > 0 && iterator.Count > skip && iterator.File.Seek(skip * kRecord))
    iterator.Index = skip - 1;
  return true;
}

bool TAccountStore::AcceptedByFilter(const TAccountIterator& iterator) const {
  if (!iterator.FilterOn) return true;
  std::vector<std::string> aliases;
  support::SplitToList(iterator.Record.Str(kAlias, kAliasSize), ';', aliases, true);
  std::string mask = support::LowerCase(iterator.Filter);
  for (const std::string& alias : aliases)
    if (support::WildcardMatch(support::LowerCase(alias), mask)) return true;
  return false;
}

bool TAccountStore::NextAccount(TAccountIterator& iterator) {
  if (!iterator.Open) return true;
  if (iterator.DatabaseIteration) {
    int index = -1;
    int got = store_.Database.Call(&Entries::NextUser, 0, iterator.DatabaseIteration,
                                   static_cast<void*>(iterator.Record.Data()), &index);
    if (got == 0) return true;
    iterator.Index = index;
    return false;
  }
  std::lock_guard<std::recursive_mutex> hold(store_.Lock);
  while (iterator.File.Read(iterator.Record.Data(), kRecord) == kRecord) {
    ScrambleBytes(iterator.Record.Data(), iterator.Record.Size());
    DecryptUserPassword(iterator.Record);
    ++iterator.Index;
    if (AcceptedByFilter(iterator)) return false;
  }
  return true;
}

void TAccountStore::CloseAccounts(TAccountIterator& iterator) {
  if (iterator.DatabaseIteration)
    store_.Database.CallVoid(&Entries::DoneUsers, iterator.DatabaseIteration);
  iterator.DatabaseIteration = nullptr;
  iterator.File.Close();
  iterator.Open = false;
}

std::string TAccountStore::MailboxDir(const std::string& mailboxPath) const {
  std::string path = mailboxPath;
  if (path.empty()) return "";
  if (!support::IsRootedPath(path)) {
    // Until a load derives it, an emptied mail directory field means the
    // installation's own mail folder.
    std::string mail = store_.Settings.Str(settings::kMailDir, settings::kDirSize);
    path = (mail.empty() ? store_.Dirs.InstallDir + "mail\\" : support::NormalizeDir(mail)) + path;
  }
  return support::NormalizeDir(path);
}

std::string TAccountStore::RenameMailbox(const TFixedRecord& stored, TFixedRecord& record) {
  std::string old_path = stored.Str(kMailbox, kMailboxSize);
  std::string domain = support::GetField(old_path, 0, '\\');
  if (domain.empty() ||
      !support::SameText(old_path, DerivedMailbox(domain, stored.Str(kAlias, kAliasSize))))
    return "";
  std::string aliases = record.Str(kAlias, kAliasSize);
  std::string new_path = DerivedMailbox(domain, aliases);
  if (support::SameText(old_path, new_path)) return "";
  if (std::string problem = MailboxFolderProblem(aliases); !problem.empty())
    return "the mailbox cannot follow the alias: " + problem;
  // The folder moves only to a free place: another account's mail is never
  // joined, and a failed move leaves the account where its mail is.
  std::string old_dir = MailboxDir(old_path), new_dir = MailboxDir(new_path);
  if (platform::GetFileAttributes(new_dir) != platform::kInvalidAttributes)
    return "the mailbox folder " + new_dir + " already exists";
  if (platform::DirectoryExists(old_dir) &&
      !platform::MoveFile(old_dir.substr(0, old_dir.size() - 1),
                          new_dir.substr(0, new_dir.size() - 1)))
    return "the mailbox folder could not be moved to " + new_dir;
  record.SetStr(kMailbox, kMailboxSize, new_path);
  return "";
}

bool TAccountStore::SaveAccount(const std::string& domain, TFixedRecord& record, int& index,
                                const std::string& who, std::string* reason) {
  std::string problem = Save(domain, record, index, who);
  if (reason) *reason = problem;
  return problem.empty();
}

std::string TAccountStore::Save(const std::string& domain, TFixedRecord& record, int& index,
                                const std::string& who) {
  if (record.Str(kAlias, kAliasSize).empty()) return "the alias is empty";
  Storage storage = store_.AccountStorage();
  if (storage == Storage::Unavailable) return "the database library is not available";
  // Cutting the encrypted form would lose the password for good, and keeping
  // it plain would store in clear what the settings want encrypted.
  if (storage == Storage::Files && record.Byte(kKind) == kUser &&
      store_.Settings.Byte(settings::kEncryptPasswords) != 0 &&
      record.Str(kPassword, kPasswordSize).size() > kMaxEncryptedPassword)
    return "the password is longer than " + std::to_string(kMaxEncryptedPassword) +
           " characters, too long to be stored encrypted";
  bool is_new = index == -1;
  if (!is_new) {
    TFixedRecord stored(kRecordSize);
    if (ReadAccount(domain, stored, index) > index)
      if (std::string problem = RenameMailbox(stored, record); !problem.empty()) return problem;
  }

  if (storage == Storage::Database) {
    int count =
        store_.Database.Call(&Entries::GetTotalUsers, 0, support::LowerCase(domain).c_str());
    if (index == -1 || index == count) is_new = true;
    if (store_.Database.Call(&Entries::SaveUsers, 0, support::LowerCase(domain).c_str(),
                             static_cast<const void*>(record.Data()), &index) == 0)
      return "the database library did not store it";
  } else if (std::string problem = SaveToFile(domain, record, index, is_new); !problem.empty()) {
    return problem;
  }

  store_.Audit(who, is_new, FirstAlias(record) + "@" + support::LowerCase(domain));
  if (record.Byte(kKind) == kUser) AfterSave(domain, record, is_new);
  return "";
}

std::string TAccountStore::SaveToFile(const std::string& domain, TFixedRecord& record, int& index,
                                      bool& isNew) {
  std::string name = UsersFile(domain);
  if (name.empty()) return "the domain name is no folder name";
  std::lock_guard<std::recursive_mutex> hold(store_.Lock);
  platform::File file;
  if (!file.Open(name, platform::File::Mode::ReadWrite)) {
    // Created only where nothing is: a file that would not open is never
    // truncated.
    if (platform::GetFileAttributes(name) != platform::kInvalidAttributes)
      return name + " exists but could not be opened for writing";
    support::CreateFileDirectory(name);
    if (!file.Open(name, platform::File::Mode::Create)) return name + " could not be created";
  }
  int64_t count = file.Size() / kRecord;
  if (isNew || index == count) {
    isNew = true;
    index = static_cast<int>(count);
  }
  // A record beyond the end would leave a gap of undefined accounts.
  if (index < 0 || index > count || !file.Seek(index * kRecord))
    return "there is no account " + std::to_string(index);

  std::string password = record.Str(kPassword, kPasswordSize);
  if (record.Byte(kKind) == kUser && store_.Settings.Byte(settings::kEncryptPasswords) != 0)
    record.SetStr(kPassword, kPasswordSize, EncryptPassword(password));
  ScrambleBytes(record.Data(), record.Size());
  bool written = file.Write(record.Data(), kRecord);
  ScrambleBytes(record.Data(), record.Size());
  record.SetStr(kPassword, kPasswordSize, password);
  if (cache_) cache_->ClearAndFree();
  return written ? "" : name + " could not be written";
}

void TAccountStore::AfterSave(const std::string& domain, const TFixedRecord& record, bool isNew) {
  std::string mailbox = MailboxDir(record.Str(kMailbox, kMailboxSize));
  if (mailbox.empty()) return;
  if (store_.Settings.Byte(settings::kWelcomeMessages) != 0 && isNew &&
      record.Byte(kNoWelcome) == 0)
    PlaceWelcomeMessage(domain, record);
  if ((record.Byte(kOptions) & kKeepResponder) == 0) platform::DeleteFile(mailbox + "respond.dat");
  if (record.DWord(kActiveLimit) > kActiveFileAbove &&
      !platform::FileExists(mailbox + "active.dat"))
    support::SaveStringToFile("", mailbox + "active.dat");
}

void TAccountStore::PlaceWelcomeMessage(const std::string& domain, const TFixedRecord& record) {
  std::vector<std::string> lines;
  support::SplitToList(support::LoadFileToString(store_.Dirs.ConfigDir + "messages.dat"), '\n',
                       lines, true);
  std::string own = support::LowerCase(support::TrimBlanks(domain));
  for (const std::string& raw : lines) {
    std::string line = support::TrimBlanks(support::StripComments(raw));
    if (line.find('=') == std::string::npos) {
      std::size_t space = line.find(' ');
      if (space == std::string::npos) continue;
      line[space] = '=';
    }
    std::string target = support::LowerCase(support::TrimBlanks(support::GetField(line, 0, '=')));
    if (target != "*" && target != own) continue;
    std::string message =
        support::LoadFileToString(support::TrimBlanks(line.substr(line.find('=') + 1)));
    if (message.empty()) return;
    std::string mailbox = MailboxDir(record.Str(kMailbox, kMailboxSize));
    std::string file =
        record.Byte(kImapInbox) != 0 ? mailbox + "inbox\\welcome.imap" : mailbox + "welcome.tmp";
    support::SaveStringToFile(message, file);
    return;
  }
}

void TAccountStore::CreateCache() {
  const TFixedRecord& s = store_.Settings;
  if (s.Byte(settings::kNoRecordCaches) != 0) {
    cache_.reset();
    return;
  }
  int64_t capacity = s.DWord(settings::kAccountCacheSize);
  uint32_t memory = s.DWord(settings::kAccountCacheMemory);
  if (s.Byte(settings::kStorageMode) == 0 && memory != 0)
    capacity = std::max<int64_t>(capacity, static_cast<int64_t>(memory) * 1048576 / 11392);
  bool database = s.Byte(settings::kStorageMode) == settings::kStorageDatabase;
  cache_ = std::make_unique<support::TExpireHashObjectCollection>(
      static_cast<int>(std::min<int64_t>(capacity, 1 << 20)), database ? kDatabaseCacheAge : 0);
}

void TAccountStore::DropCache() {
  cache_.reset();
}

}  // namespace serverconfig
