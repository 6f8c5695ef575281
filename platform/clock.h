// The clock: the current local date-time to the second, today's date, the
// user's short date format, and a wait that sleeps until the wall clock reaches a
// given second (never spinning). Tests use a fake clock whose waits return at once
// and move its time forward, so a whole install runs in milliseconds.
#pragma once

#include <string>

#include "platform/datetime.h"

namespace pm {

class Clock {
 public:
  virtual ~Clock() = default;
  // Local date-time, truncated to the second.
  virtual DateTime now() = 0;
  // Returns once now() >= when. Sleeps; returns at once when `when` has passed.
  virtual void sleepUntil(DateTime when) = 0;
  // Today's date (local).
  virtual CivilDate today() { return now().date(); }
  // The date in the user's short date format (the locale's; where the locale
  // gives none, month/day/year without leading zeros: "12/6/2026").
  virtual std::string shortDate(const CivilDate& date) = 0;
};

}  // namespace pm
