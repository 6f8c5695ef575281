// A clock for runs without pacing: its time moves with the wall clock, and a
// wait moves it forward to the awaited second and returns at once, so every
// pause of the report ends immediately while the stages still see time pass.
// Today's date and its short form come from the wall clock.
#pragma once

#include <cstdint>
#include <string>

#include "platform/clock.h"

namespace pm::unattended {

class UnpacedClock : public Clock {
 public:
  explicit UnpacedClock(Clock& wall) : wall_(wall) {}

  DateTime now() override { return DateTime{wall_.now().seconds + skipped_}; }
  void sleepUntil(DateTime when) override {
    const DateTime current = now();
    if (when > current) skipped_ += when.seconds - current.seconds;
  }
  CivilDate today() override { return wall_.today(); }
  std::string shortDate(const CivilDate& date) override { return wall_.shortDate(date); }

  // Seconds that waits have skipped so far.
  std::int64_t skipped() const { return skipped_; }

 private:
  Clock& wall_;
  std::int64_t skipped_ = 0;
};

}  // namespace pm::unattended
