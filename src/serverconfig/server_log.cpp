#include "serverconfig/server_log.h"

#include "support/log_writer.h"

namespace serverconfig {

bool WriteServerLog(const std::string& logsDir, const std::string& kind, const std::string& line) {
  if (logsDir.empty()) return false;
  support::TLogFile log;
  support::InitLog(logsDir + kind + "\"yyyymmdd\".log", &log, support::lfTimeStamp, 0);
  return support::WriteLog(line, &log);
}

}  // namespace serverconfig
