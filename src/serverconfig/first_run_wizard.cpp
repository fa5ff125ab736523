#include "serverconfig/first_run_wizard.h"

#include "serverconfig/config_store.h"
#include "serverconfig/name_rules.h"
#include "serverconfig/new_objects.h"
#include "support/text_fields.h"

namespace serverconfig {
namespace {

using support::TrimBlanks;

// Longest host name: what the settings field holds.
constexpr std::size_t kMaxHostName = settings::kHostNameSize - 1;

bool Encrypts(const TConfigStore& store) {
  return store.Settings.Byte(settings::kEncryptPasswords) != 0;
}

void PointAtInstallation(TConfigStore& store, const std::string& installDir) {
  store.Dirs.InstallDir = installDir;
  store.Dirs.ConfigDir = installDir + "config\\";
}

// Steps after the load; the caller releases the database library.
FirstRunResult Apply(TConfigStore& store, const FirstRunValues& values,
                     const std::function<void()>& tellModules) {
  if (std::string problem = FirstRunProblem(values, Encrypts(store)); !problem.empty())
    return {FirstRunResult::Failed, "A value was refused: " + problem + "."};
  const std::string domain = TrimBlanks(values.Domain), user = TrimBlanks(values.User);
  if (store.Domains.DomainExists(domain))
    return {FirstRunResult::DomainExists, "The domain " + domain +
                                              " already exists. The host name, the domain and "
                                              "its administrator were not set."};

  store.Settings.SetStr(settings::kHostName, settings::kHostNameSize, TrimBlanks(values.HostName));
  // Empty, so that the next load derives them from the installation folder again.
  for (std::size_t field : {settings::kTempDir, settings::kMailDir, settings::kLogsDir})
    store.Settings.SetStr(field, settings::kDirSize, "");
  int index = CreateDomain(store, domain, NewDomainRecord(user + "@" + domain), "");
  if (index < 0) return {FirstRunResult::Failed, "The domain " + domain + " could not be created."};
  store.Domains.MakePrimaryDomain(index);
  if (!store.SaveServerConfig(false))
    return {FirstRunResult::Failed,
            "The server configuration could not be saved in " + store.Dirs.ConfigDir + "."};
  tellModules();

  TFixedRecord account = NewAccountRecord(domain, user, values.Password, account::kUser);
  account.SetByte(account::kWizardAdministrator, 1);
  int accountIndex = -1;
  std::string reason;
  if (!store.Accounts.SaveAccount(store.Domains.DomainName(0), account, accountIndex, "", &reason))
    return {FirstRunResult::Failed,
            "The account of the administrator " + user + " could not be created: " + reason};
  return {FirstRunResult::Applied, ""};
}

}  // namespace

std::string HostNameProblem(const std::string& hostName) {
  std::string name = TrimBlanks(hostName);
  if (name.empty()) return "the host name is empty";
  if (name.size() > kMaxHostName) return "the host name is longer than 127 characters";
  return "";
}

std::string FirstRunDomainProblem(const std::string& domain) {
  std::string problem = DomainNameProblem(TrimBlanks(domain));
  return problem.empty() ? "" : "the domain name " + problem;
}

std::string AdministratorProblem(const std::string& user) {
  std::string problem = AliasProblem(TrimBlanks(user));
  return problem.empty() ? "" : "the user name: " + problem;
}

std::string PasswordProblem(const std::string& password, bool encrypted) {
  std::size_t limit = encrypted ? account::kMaxEncryptedPassword : kMaxPassword;
  if (password.size() <= limit) return "";
  std::string problem = "the password is longer than ";
  problem += std::to_string(limit);
  problem += " characters";
  return problem;
}

std::string FirstRunProblem(const FirstRunValues& values, bool encrypted) {
  for (std::string problem :
       {HostNameProblem(values.HostName), FirstRunDomainProblem(values.Domain),
        AdministratorProblem(values.User), PasswordProblem(values.Password, encrypted)})
    if (!problem.empty()) return problem;
  return "";
}

bool EncryptsPasswords(TConfigStore& store, const std::string& installDir) {
  PointAtInstallation(store, installDir);
  store.LoadServerConfig(false, true);
  return Encrypts(store);
}

FirstRunResult ApplyFirstRun(TConfigStore& store, const std::string& installDir,
                             const FirstRunValues& values,
                             const std::function<void()>& tellModules) {
  PointAtInstallation(store, installDir);
  store.LoadServerConfig(false, false);
  FirstRunResult result = Apply(store, values, tellModules);
  store.Database.ReleaseDatabase();
  return result;
}

}  // namespace serverconfig
