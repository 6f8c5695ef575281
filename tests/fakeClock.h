// A clock that stands still until told otherwise, in milliseconds of local
// time: now() truncates to the second; a wait is counted and jumps forward to
// the awaited second, so a test sees both how long a wait lasted and that it
// slept rather than spun. The short date is month/day/year without leading
// zeros ("12/6/2026").
#pragma once

#include <algorithm>
#include <cstdint>
#include <string>

#include "platform/clock.h"

namespace pm::testing {

class FakeClock : public Clock {
 public:
  DateTime now() override { return DateTime{millis / 1000}; }
  void sleepUntil(DateTime when) override {
    ++sleeps;
    millis = std::max(millis, when.seconds * 1000);
  }
  std::string shortDate(const CivilDate& d) override {
    return std::to_string(d.month) + "/" + std::to_string(d.day) + "/" + std::to_string(d.year);
  }

  std::int64_t millis = DateTime::fromCivil(2026, 12, 6, 10, 0, 0).seconds * 1000;
  int sleeps = 0;
};

}  // namespace pm::testing
