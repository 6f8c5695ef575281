// Date-times as the installer sees them: local wall-clock time to the second.
//
// A DateTime is the count of seconds of local civil time since 1970-01-01 00:00:00
// (as if the local time zone were UTC), so that two values compare and subtract
// like the date-times of the original program: no time zones, no leap seconds.
#pragma once

#include <compare>
#include <cstdint>
#include <string>

namespace pm {

struct CivilDate {
  int year = 1970;
  int month = 1;  // 1..12
  int day = 1;    // 1..31
  auto operator<=>(const CivilDate&) const = default;
};

struct DateTime {
  std::int64_t seconds = 0;  // local civil seconds since 1970-01-01 00:00:00
  auto operator<=>(const DateTime&) const = default;

  static DateTime fromCivil(int year, int month, int day, int hour = 0, int minute = 0,
                            int second = 0);
  CivilDate date() const;
  int hour() const;
  int minute() const;
  int second() const;
  // "YYYY-MM-DD hh:mm:ss", for messages and listings.
  std::string text() const;
};

// The number of whole-second boundaries between two date-times (the date
// difference in seconds): b - a.
inline std::int64_t secondBoundariesBetween(DateTime a, DateTime b) { return b.seconds - a.seconds; }

}  // namespace pm
