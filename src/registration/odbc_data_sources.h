// ODBC data sources through which the server reaches its Microsoft Access
// databases, written into the registry as the ODBC administrator writes them.
#pragma once

#include <string>

#include "registration/machine_keys.h"

namespace registration {

struct AccessDataSource {
  const char* name;
  const char* file;  // relative to the installation directory
};
inline constexpr AccessDataSource kAccessDataSources[] = {
    {"KestrunSpamChallenge", "spam\\challenge.mdb"},
    {"KestrunCalendar", "calendar\\calendar.mdb"},
};

// True when the data source is listed under ODBC Data Sources with a driver.
bool DataSourceExists(const std::string& name, const MachineKeys& keys = {});

// Registers name for the Access database at databasePath with the first
// installed driver for "*.mdb" files; without such a driver nothing is
// written, so that the next installation tries again. Does nothing when skip
// is set. The result is always false: callers decide by DataSourceExists.
bool CreateAccessDataSource(const std::string& name, bool skip, const std::string& databasePath,
                            const MachineKeys& keys = {});

}  // namespace registration
