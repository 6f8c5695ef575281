// The wall clock of the host, in local time.
//
// now() is the local date-time to the second. sleepUntil() sleeps on the real
// time clock until the wall clock's second reaches `when` (it wakes at whole
// second boundaries and never spins), so a change of the system time is noticed.
//
// shortDate() gives the date in the user's short date format: the D_FMT of the
// LC_TIME locale of the environment (LC_ALL, LC_TIME, LANG), used as the locale
// gives it (e.g. "06.12.2026" in de_DE, "12/06/2026" in en_US). Where that locale
// is C or POSIX, or cannot be loaded, it is month/day/year without leading zeros
// and with four digits for the year: "12/6/2026", as Windows' default short date.
#pragma once

#include <string>

#include "platform/clock.h"

namespace pm::posix {

class PosixClock : public Clock {
 public:
  DateTime now() override;
  void sleepUntil(DateTime when) override;
  std::string shortDate(const CivilDate& date) override;
};

}  // namespace pm::posix
