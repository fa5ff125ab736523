// The accounts of each domain: users.cfg, a file of 2848-byte records (each
// scrambled on its own) in the domain's directory, or the database library in
// database storage. Passwords are stored encrypted when the settings ask for it.
#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "collections/object_collections.h"
#include "platform/files.h"
#include "serverconfig/fixed_record.h"

namespace serverconfig {

class TConfigStore;

namespace account {
constexpr std::size_t kRecordSize = 2848;
constexpr std::size_t kKind = 0;  // 0 user, 7 group
constexpr std::size_t kFullName = 4, kFullNameSize = 255;
constexpr std::size_t kAlias = 260, kAliasSize = 256;
constexpr std::size_t kUserName = 516, kUserNameSize = 128;
constexpr std::size_t kActiveLimit = 660;  // 32 bits
constexpr std::size_t kImapInbox = 665;
constexpr std::size_t kPassword = 772, kPasswordSize = 128;
constexpr std::size_t kMailbox = 1028, kMailboxSize = 128;
constexpr std::size_t kWizardAdministrator = 1284;  // 1: made by the first-run wizard
constexpr std::size_t kOptions = 1293;              // bit value 2 keeps respond.dat
constexpr std::size_t kNoWelcome = 1295;
constexpr std::size_t kDemoAccount = 645;  // 1: a demo account of the installation
constexpr std::size_t kDemoExpiry = 648;   // day number the demo account ends
constexpr uint8_t kUser = 0, kGroup = 7;
// Longest password stored encrypted: "~#1" and the Base64 form of its
// enciphered bytes (as many as the password has) fill the field's 127 characters.
constexpr std::size_t kMaxEncryptedPassword = (kPasswordSize - 1 - 3) / 4 * 3;
}  // namespace account

// A walk over one domain's accounts (OpenAccounts, NextAccount, CloseAccounts).
struct TAccountIterator {
  std::string Domain;
  platform::File File;
  int64_t Count = 0;  // records in the file
  int Index = -1;
  bool Open = false;
  std::string Filter;  // wildcard mask on the aliases, used when FilterOn
  bool FilterOn = false;
  void* DatabaseIteration = nullptr;
  TFixedRecord Record{account::kRecordSize};
};

// "~#1" + Base64 of the Blowfish-encrypted password, cut to 127 characters.
std::string EncryptPassword(const std::string& password);
// The plain password of a stored "~#" text longer than 2 characters; any other
// text, and one that does not decrypt, is returned as it is.
std::string DecryptPassword(const std::string& stored);

class TAccountStore {
 public:
  explicit TAccountStore(TConfigStore& store);
  ~TAccountStore();
  TAccountStore(const TAccountStore&) = delete;
  TAccountStore& operator=(const TAccountStore&) = delete;

  // Records of the domain's users.cfg; with an empty domain, of every domain.
  int AccountCount(const std::string& domain);
  // Fills the record at the index (password decrypted); returns the number of
  // records (0 when the file cannot be opened).
  int ReadAccount(const std::string& domain, TFixedRecord& record, int index);
  // The first account whose alias list shares a name with the given one
  // (stored entries beginning with "[" are patterns); -1 when none.
  int FindAccount(const std::string& domain, const std::string& alias);

  bool OpenAccounts(const std::string& domain, TAccountIterator& iterator,
                    const std::string& filter, bool filterOn, int skip);
  // False while it delivered a record into iterator.Record, true at the end.
  bool NextAccount(TAccountIterator& iterator);
  void CloseAccounts(TAccountIterator& iterator);

  // Stores the record at the index, or appends it when the index is -1 or the
  // number of records; index is then the one used. True when stored;
  // otherwise the record was not stored and reason, when given, tells why. Refused:
  // with encryption on, a user's password longer than kMaxEncryptedPassword;
  // a new first alias whose mailbox would move to a folder that is no usable
  // name (MailboxFolderProblem) or that already exists, or could not move.
  bool SaveAccount(const std::string& domain, TFixedRecord& record, int& index,
                   const std::string& who, std::string* reason = nullptr);

  // The cache lives while the configuration is fully loaded.
  void CreateCache();
  void DropCache();

 private:
  std::string UsersFile(const std::string& domain) const;
  std::string MailboxDir(const std::string& mailboxPath) const;
  // These return "" on success, else why not.
  std::string Save(const std::string& domain, TFixedRecord& record, int& index,
                   const std::string& who);
  std::string SaveToFile(const std::string& domain, TFixedRecord& record, int& index, bool& isNew);
  std::string RenameMailbox(const TFixedRecord& stored, TFixedRecord& record);
  void AfterSave(const std::string& domain, const TFixedRecord& record, bool isNew);
  void PlaceWelcomeMessage(const std::string& domain, const TFixedRecord& record);
  bool AcceptedByFilter(const TAccountIterator& iterator) const;

  TConfigStore& store_;
  std::unique_ptr<support::TExpireHashObjectCollection> cache_;
};

}  // namespace serverconfig
