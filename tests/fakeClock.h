// A clock that stands still until told otherwise: now() is `current`; a wait
// returns at once, moves `current` forward to the awaited second and is recorded.
// The short date is month/day/year without leading zeros ("12/6/2026").
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "platform/clock.h"

namespace pm::testing {

class FakeClock : public Clock {
 public:
  DateTime now() override { return current; }
  void sleepUntil(DateTime when) override {
    waits.push_back(when);
    if (current < when) current = when;
  }
  std::string shortDate(const CivilDate& date) override {
    return std::to_string(date.month) + "/" + std::to_string(date.day) + "/" +
           std::to_string(date.year);
  }
  void advance(std::int64_t seconds) { current.seconds += seconds; }

  DateTime current = DateTime::fromCivil(2026, 12, 6, 9, 0, 0);
  std::vector<DateTime> waits;  // every sleepUntil target, in order
};

}  // namespace pm::testing
