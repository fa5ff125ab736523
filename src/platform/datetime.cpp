#include "platform/datetime.h"

#include <cmath>

namespace platform {
namespace {

// Days from 1970-01-01 to the civil date (proleptic Gregorian).
long long DaysFromCivil(long long y, unsigned m, unsigned d) {
  y -= m <= 2;
  const long long era = (y >= 0 ? y : y - 399) / 400;
  const unsigned yoe = static_cast<unsigned>(y - era * 400);
  const unsigned doy = (153 * (m + (m > 2 ? -3 : 9)) + 2) / 5 + d - 1;
  const unsigned doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
  return era * 146097 + static_cast<long long>(doe) - 719468;
}

void CivilFromDays(long long z, int& y, int& m, int& d) {
  z += 719468;
  const long long era = (z >= 0 ? z : z - 146096) / 146097;
  const unsigned doe = static_cast<unsigned>(z - era * 146097);
  const unsigned yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
  const unsigned doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
  const unsigned mp = (5 * doy + 2) / 153;
  d = static_cast<int>(doy - (153 * mp + 2) / 5 + 1);
  m = static_cast<int>(mp < 10 ? mp + 3 : mp - 9);
  y = static_cast<int>(static_cast<long long>(yoe) + era * 400 + (m <= 2));
}

const long long kOleEpoch = DaysFromCivil(1899, 12, 30);

}  // namespace

double EncodeDateTime(const DateTimeFields& f) {
  double days = static_cast<double>(DaysFromCivil(f.year, f.month, f.day) - kOleEpoch);
  double time =
      (f.hour * 3600000.0 + f.minute * 60000.0 + f.second * 1000.0 + f.millisecond) / 86400000.0;
  // Before the epoch the time of day counts away from zero, as OLE dates do.
  return days >= 0 ? days + time : days - time;
}

DateTimeFields DecodeDateTime(double value) {
  DateTimeFields f;
  if (!std::isfinite(value) || std::fabs(value) > 3e6) return f;
  double whole = std::trunc(value);
  double fraction = std::fabs(value - whole);
  long long ms = std::llround(fraction * 86400000.0);
  if (ms >= 86400000) {  // rounding reached the next day
    ms -= 86400000;
    whole += value >= 0 ? 1 : -1;
  }
  CivilFromDays(static_cast<long long>(whole) + kOleEpoch, f.year, f.month, f.day);
  f.hour = static_cast<int>(ms / 3600000);
  f.minute = static_cast<int>(ms / 60000 % 60);
  f.second = static_cast<int>(ms / 1000 % 60);
  f.millisecond = static_cast<int>(ms % 1000);
  return f;
}

}  // namespace platform
