// The first-run wizard's values (host name, primary domain, its administrator
// and password), their checks, and how they become the server's configuration:
// the host name in the settings, a new primary domain, and the administrator's
// account in it.
#pragma once

#include <functional>
#include <string>

namespace serverconfig {

class TConfigStore;

struct FirstRunValues {
  std::string HostName, Domain, User, Password;
};

// Each check says "" when the value may be used, else why not. Host name, domain
// and user are checked trimmed, the password as it is: it may be empty, but must
// fit the field, and fit it encrypted when the server stores passwords encrypted.
std::string HostNameProblem(const std::string& hostName);
std::string FirstRunDomainProblem(const std::string& domain);
std::string AdministratorProblem(const std::string& user);
std::string PasswordProblem(const std::string& password, bool encrypted);
// The first problem of the four values, with the field it belongs to.
std::string FirstRunProblem(const FirstRunValues& values, bool encrypted);

// Whether the installation's settings ask for encrypted passwords (reads the
// settings only).
bool EncryptsPasswords(TConfigStore& store, const std::string& installDir);

struct FirstRunResult {
  enum Kind { Applied, DomainExists, Failed };
  Kind Outcome;
  std::string Text;  // what went wrong, or which domain exists
};

// Loads the configuration of the installation in installDir (with a trailing
// "\") and, unless the domain exists or a value is refused, writes the host
// name, creates the domain as the primary one, saves, calls tellModules, and
// creates the administrator's account. Stops at the first failure, writing
// nothing more. The database library is released at the end.
FirstRunResult ApplyFirstRun(TConfigStore& store, const std::string& installDir,
                             const FirstRunValues& values,
                             const std::function<void()>& tellModules);

}  // namespace serverconfig
