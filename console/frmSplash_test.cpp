#include "console/frmSplash.h"

#include <gtest/gtest.h>

#include "tests/fakeClock.h"

namespace pm {
namespace {

// Its clicks and keys are played on the real window in the Qt tests.
TEST(SplashTest, ClosesOnItsOwnBetweenFifteenAndSixteenSecondsAfterTheFirstTick) {
  for (int offset : {0, 50, 450, 950}) {
    testing::FakeClock clock;
    clock.millis += offset;
    frmSplash splash(clock);
    splash.load();
    const std::int64_t firstTick = clock.millis + 100;
    // The timer ticks every 100 ms of the clock, for a minute at most.
    for (int i = 0; i < 600 && splash.loaded(); ++i) {
      clock.millis += 100;
      splash.timerTick("Timer1");
    }
    ASSERT_FALSE(splash.loaded()) << "offset " << offset;
    EXPECT_GT(clock.millis - firstTick, 15000) << "offset " << offset;
    EXPECT_LE(clock.millis - firstTick, 16000) << "offset " << offset;
  }
}

}  // namespace
}  // namespace pm
