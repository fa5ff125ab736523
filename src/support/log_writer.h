// The log writer: appends one line per call to a text file, optionally stamped
// with the local time and the writing thread. The setup log is the default record.
#pragma once

#include <cstdint>
#include <mutex>
#include <string>

namespace support {

// Line flags (only the low 16 bits are consulted when writing).
constexpr uint32_t lfTimeStamp = 0x1;
constexpr uint32_t lfThreadId = 0x2;
constexpr uint32_t lfFirstLineOnly = 0x4;
constexpr uint32_t lfDeleteOnInit = 0x80;
constexpr uint32_t lfConsole = 0x100;

struct TLogFile {
  std::string FileName;  // may hold quoted date patterns
  uint32_t Flags = 0;
  int32_t Reserved = 0;  // stored for the owner; the writer does not read it
  std::mutex Lock;       // serialises the writers of this log
  bool Active = false;   // an inactive log swallows every write
};

// Activates a log (the default one when log is null). Always true.
bool InitLog(const std::string& fileName, TLogFile* log, uint32_t flags, int32_t reserved);
// Appends one line; flags 0 means the log's own flags. True when the line reached
// the file; false for an inactive log, a file that cannot be opened, or a line
// that went to standard output.
bool WriteLog(const std::string& message, TLogFile* log = nullptr, uint32_t flags = 0);
// The setup's single entry to its log: the default record, its own flags, and
// the copy when one was asked for.
void SetupLog(const std::string& message);
// Every setup log line from now on also goes to this file, time-stamped, whether
// or not the default record is active yet; "" ends the copy.
void CopySetupLogTo(const std::string& fileName);
// Replaces each double-quoted date pattern of the name by the current local date
// and time formatted with it ("setup-\"yyyymmdd\".log").
std::string ExpandDatePatterns(const std::string& fileName);

// Formats a local date-time (days since 1899-12-30) with the usual pattern codes:
// yyyy yy mmmm mmm mm m dddd ddd dd d hh h nn n ss s zzz, "text" and 'text' as
// literals, "m" after an hour code meaning minutes. Letters that are no code
// stand as written.
std::string FormatDateTime(const std::string& pattern, double dateTime);

}  // namespace support
