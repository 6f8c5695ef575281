#include "platform/datetime.h"

#include <cstdio>

namespace pm {
namespace {

// Days since 1970-01-01 of a proleptic Gregorian date (Howard Hinnant's algorithm).
std::int64_t daysFromCivil(std::int64_t y, unsigned m, unsigned d) {
  y -= m <= 2;
  const std::int64_t era = (y >= 0 ? y : y - 399) / 400;
  const unsigned yoe = static_cast<unsigned>(y - era * 400);
  const unsigned doy = (153 * (m + (m > 2 ? -3 : 9)) + 2) / 5 + d - 1;
  const unsigned doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
  return era * 146097 + static_cast<std::int64_t>(doe) - 719468;
}

CivilDate civilFromDays(std::int64_t z) {
  z += 719468;
  const std::int64_t era = (z >= 0 ? z : z - 146096) / 146097;
  const unsigned doe = static_cast<unsigned>(z - era * 146097);
  const unsigned yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
  const std::int64_t y = static_cast<std::int64_t>(yoe) + era * 400;
  const unsigned doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
  const unsigned mp = (5 * doy + 2) / 153;
  const unsigned d = doy - (153 * mp + 2) / 5 + 1;
  const unsigned m = mp < 10 ? mp + 3 : mp - 9;
  return CivilDate{static_cast<int>(y + (m <= 2)), static_cast<int>(m), static_cast<int>(d)};
}

std::int64_t floorDiv(std::int64_t a, std::int64_t b) { return a / b - ((a % b != 0) && ((a < 0) != (b < 0))); }

}  // namespace

DateTime DateTime::fromCivil(int year, int month, int day, int hour, int minute, int second) {
  return DateTime{daysFromCivil(year, static_cast<unsigned>(month), static_cast<unsigned>(day)) *
                      86400 +
                  hour * 3600 + minute * 60 + second};
}

CivilDate DateTime::date() const { return civilFromDays(floorDiv(seconds, 86400)); }
int DateTime::hour() const { return static_cast<int>((seconds - floorDiv(seconds, 86400) * 86400) / 3600); }
int DateTime::minute() const { return static_cast<int>((seconds - floorDiv(seconds, 3600) * 3600) / 60); }
int DateTime::second() const { return static_cast<int>(seconds - floorDiv(seconds, 60) * 60); }

std::string DateTime::text() const {
  const CivilDate d = date();
  char buf[32];
  std::snprintf(buf, sizeof buf, "%04d-%02d-%02d %02d:%02d:%02d", d.year, d.month, d.day, hour(),
                minute(), second());
  return buf;
}

}  // namespace pm
