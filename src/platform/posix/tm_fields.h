// A broken-down C time as the fields of an OLE date.
#pragma once

#include <time.h>

#include "platform/datetime.h"

namespace platform::posix {

inline DateTimeFields FieldsOf(const struct tm& t, int millisecond) {
  DateTimeFields f;
  f.year = t.tm_year + 1900;
  f.month = t.tm_mon + 1;
  f.day = t.tm_mday;
  f.hour = t.tm_hour;
  f.minute = t.tm_min;
  f.second = t.tm_sec;
  f.millisecond = millisecond;
  return f;
}

}  // namespace platform::posix
