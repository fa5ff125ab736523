#include "serverconfig/new_objects.h"

#include "serverconfig/config_store.h"
#include "serverconfig/name_rules.h"
#include "support/text_fields.h"

namespace serverconfig {

TFixedRecord NewDomainRecord(const std::string& adminAddress) {
  TFixedRecord record(domain::kRecordSize);
  record.SetStr(domain::kRoleNames, domain::kFieldSize,
                "postmaster;admin;administrator;supervisor;hostmaster;webmaster;abuse");
  record.SetStr(domain::kAdminAddress, domain::kFieldSize, adminAddress);
  return record;
}

TFixedRecord NewAccountRecord(const std::string& domain, const std::string& user,
                              const std::string& password, uint8_t kind) {
  using namespace account;
  TFixedRecord record(kRecordSize);
  record.SetByte(kKind, kind);
  record.SetStr(kAlias, kAliasSize, user);
  record.SetStr(kUserName, kUserNameSize, user);
  record.SetStr(kPassword, kPasswordSize, password);
  std::string full_name = user;
  if (!full_name.empty() && full_name[0] >= 'a' && full_name[0] <= 'z') full_name[0] -= 'a' - 'A';
  record.SetStr(kFullName, kFullNameSize, full_name);
  record.SetStr(kMailbox, kMailboxSize, DerivedMailbox(domain, user));
  return record;
}

int CreateDomain(TConfigStore& store, const std::string& name, const TFixedRecord& record,
                 const std::string& who) {
  if (!DomainNameProblem(name).empty()) return -1;
  std::lock_guard<std::recursive_mutex> hold(store.Lock);
  store.Domains.AddDomain(name);
  if (store.BindDatabase())
    store.Database.Call(&TDatabaseLibrary::Entries::AddDomain, 0, support::LowerCase(name).c_str());
  int index = store.Domains.DomainCount() - 1;
  return store.Domains.WriteDomainRecord(record, index, true, who) ? index : -1;
}

}  // namespace serverconfig
