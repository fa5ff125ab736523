// The server's own daily log files in its logs directory ("<kind>yyyymmdd.log"),
// which receive the audit lines of configuration changes and the error lines
// of the configuration store.
#pragma once

#include <string>

namespace serverconfig {

// Appends one time-stamped line to logsDir + kind + today's date + ".log";
// false when the line could not be written.
bool WriteServerLog(const std::string& logsDir, const std::string& kind, const std::string& line);

}  // namespace serverconfig
