// Calendar arithmetic of OLE Automation dates (days since 1899-12-30, the
// fraction being the time of day). Pure arithmetic, no time zones.
#pragma once

namespace platform {

struct DateTimeFields {
  int year = 1899, month = 12, day = 30;
  int hour = 0, minute = 0, second = 0, millisecond = 0;
};

double EncodeDateTime(const DateTimeFields& fields);
DateTimeFields DecodeDateTime(double value);

}  // namespace platform
