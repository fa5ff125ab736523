// New domains and accounts as the first-run wizard and the srvcfg tool create
// them.
#pragma once

#include <string>

#include "serverconfig/fixed_record.h"

namespace serverconfig {

class TConfigStore;

// A cleared domain record with the usual role names and the administrator's address.
TFixedRecord NewDomainRecord(const std::string& adminAddress);
// A cleared account record of the given kind: alias, user name, password, full
// name (the user with its first letter in upper case) and the mailbox path
// DerivedMailbox(domain, user).
TFixedRecord NewAccountRecord(const std::string& domain, const std::string& user,
                              const std::string& password, uint8_t kind);

// Appends the domain to the list (and to the database in database storage) and
// writes its record; the index of the new domain, or -1 when the name is no
// name for a new domain (DomainNameProblem) or the record could not be
// written. The list itself is saved with the configuration.
int CreateDomain(TConfigStore& store, const std::string& name, const TFixedRecord& record,
                 const std::string& who);

}  // namespace serverconfig
