#include "support/log_writer.h"

#include <cctype>
#include <cstdio>

#include "platform/clock.h"
#include "platform/datetime.h"
#include "platform/files.h"
#include "platform/system.h"
#include "support/file_utils.h"
#include "support/text_fields.h"

namespace support {
namespace {

TLogFile defaultLog;
TLogFile copyLog;  // the copy asked for on the command line

const char* const kMonthNames[12] = {"January",   "February", "March",    "April",
                                     "May",       "June",     "July",     "August",
                                     "September", "October",  "November", "December"};

const char* const kDayNames[7] = {"Sunday",   "Monday", "Tuesday", "Wednesday",
                                  "Thursday", "Friday", "Saturday"};

// 0 for Sunday; day 0 (1899-12-30) was a Saturday.
int DayOfWeek(const platform::DateTimeFields& f) {
  platform::DateTimeFields date;
  date.year = f.year;
  date.month = f.month;
  date.day = f.day;
  const auto day = static_cast<long long>(platform::EncodeDateTime(date));
  return static_cast<int>(((day + 6) % 7 + 7) % 7);
}

std::string Number(int value, int width) {
  char buffer[16];
  std::snprintf(buffer, sizeof buffer, "%0*d", width, value);
  return buffer;
}

// The length of the run of letter c starting at pos, compared without case.
size_t RunLength(const std::string& s, size_t pos) {
  const char c = LowerChar(s[pos]);
  size_t end = pos;
  while (end < s.size() && LowerChar(s[end]) == c) ++end;
  return end - pos;
}

std::string ThreadPrefix() {
  char buffer[16];
  std::snprintf(buffer, sizeof buffer, "%x", platform::CurrentThreadId());
  std::string digits = buffer;
  if (digits.size() % 2) digits = "0" + digits;
  return "[" + digits + "] ";
}

std::string TimeStamp(double now) {
  platform::DateTimeFields f = platform::DecodeDateTime(now);
  return Number(f.year, 4) + "-" + Number(f.month, 2) + "-" + Number(f.day, 2) + " " +
         Number(f.hour, 2) + ":" + Number(f.minute, 2) + ":" + Number(f.second, 2);
}

bool AppendLine(const std::string& fileName, const std::string& line) {
  platform::File file;
  if (platform::FileExists(fileName)) {
    if (!file.Open(fileName, platform::File::Mode::ReadWrite) || !file.SeekToEnd()) return false;
  } else {
    CreateFileDirectory(fileName);
    if (!file.Open(fileName, platform::File::Mode::Create)) return false;
  }
  file.Write(line.data(), static_cast<int64_t>(line.size()));
  return true;
}

}  // namespace

std::string FormatDateTime(const std::string& pattern, double dateTime) {
  platform::DateTimeFields f = platform::DecodeDateTime(dateTime);
  std::string out;
  bool afterHour = false;
  for (size_t pos = 0; pos < pattern.size();) {
    char c = pattern[pos];
    char lower = LowerChar(c);
    if (c == '"' || c == '\'') {
      size_t end = pattern.find(c, pos + 1);
      if (end == std::string::npos) end = pattern.size();
      out += pattern.substr(pos + 1, end - pos - 1);
      pos = end + 1;
      continue;
    }
    if (!std::isalpha(static_cast<unsigned char>(c))) {
      out += c;
      ++pos;
      continue;
    }
    size_t run = RunLength(pattern, pos);
    switch (lower) {
      case 'y':
        out += run <= 2 ? Number(f.year % 100, 2) : Number(f.year, 4);
        break;
      case 'm':
        if (afterHour && run <= 2) {
          out += Number(f.minute, run);
        } else if (run >= 4) {
          out += kMonthNames[f.month - 1];
        } else if (run == 3) {
          out += std::string(kMonthNames[f.month - 1]).substr(0, 3);
        } else {
          out += Number(f.month, run);
        }
        break;
      case 'd':
        if (run >= 4)
          out += kDayNames[DayOfWeek(f)];
        else if (run == 3)
          out += std::string(kDayNames[DayOfWeek(f)]).substr(0, 3);
        else
          out += Number(f.day, run);
        break;
      case 'h':
        out += Number(f.hour, run >= 2 ? 2 : 1);
        break;
      case 'n':
        out += Number(f.minute, run >= 2 ? 2 : 1);
        break;
      case 's':
        out += Number(f.second, run >= 2 ? 2 : 1);
        break;
      case 'z':
        out += run >= 3 ? Number(f.millisecond, 3) : std::to_string(f.millisecond);
        break;
      default:  // not a code: the letters stand as written
        out += pattern.substr(pos, run);
        break;
    }
    afterHour = lower == 'h';
    pos += run;
  }
  return out;
}

std::string ExpandDatePatterns(const std::string& fileName) {
  std::string name = fileName;
  size_t first;
  while ((first = name.find('"')) != std::string::npos) {
    size_t second = name.find('"', first + 1);
    // An unpaired quote takes the rest of the name as its pattern.
    size_t stop = second == std::string::npos ? name.size() : second;
    std::string taken = TrimBlanks(name.substr(first + 1, stop - first - 1));
    name.erase(first, (second == std::string::npos ? name.size() : second + 1) - first);
    name.insert(first, FormatDateTime(taken, platform::Now()));
  }
  return name;
}

bool InitLog(const std::string& fileName, TLogFile* log, uint32_t flags, int32_t reserved) {
  TLogFile& record = log ? *log : defaultLog;
  record.FileName = fileName;
  record.Flags = flags;
  record.Reserved = reserved;
  record.Active = true;
  if (flags & lfDeleteOnInit) platform::DeleteFile(ExpandDatePatterns(fileName));
  return true;
}

bool WriteLog(const std::string& message, TLogFile* log, uint32_t flags) {
  TLogFile& record = log ? *log : defaultLog;
  if (flags == 0) flags = record.Flags;
  flags &= 0xFFFF;
  if (!record.Active) return false;
  std::string fileName = ExpandDatePatterns(record.FileName);
  std::lock_guard<std::mutex> lock(record.Lock);
  try {
    if (flags & lfConsole) {
      platform::WriteStandardOutput(message + "\r\n");
      return false;
    }
    std::string prefix;
    if (flags & lfTimeStamp) prefix += TimeStamp(platform::Now()) + " ";
    if (flags & lfThreadId) prefix += ThreadPrefix();
    std::string text = message;
    size_t lineFeed = text.find('\n');
    if ((flags & lfFirstLineOnly) && lineFeed != std::string::npos)
      text = TrimBlanks(text.substr(0, lineFeed));
    return AppendLine(fileName, prefix + text + "\r\n");
  } catch (...) {
    return false;
  }
}

void CopySetupLogTo(const std::string& fileName) {
  if (fileName.empty()) {
    copyLog.Active = false;
    return;
  }
  InitLog(fileName, &copyLog, lfTimeStamp, 0);
}

void SetupLog(const std::string& message) {
  WriteLog(message, nullptr, 0);
  WriteLog(message, &copyLog, 0);
}

}  // namespace support
