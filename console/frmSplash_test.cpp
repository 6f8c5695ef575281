#include "console/frmSplash.h"

#include <gtest/gtest.h>

#include "tests/windowTestRig.h"

namespace pm {
namespace {

TEST(SplashTest, ClosesOnItsOwnBetweenFifteenAndSixteenSecondsAfterTheFirstTick) {
  for (int offset : {0, 50, 450, 950}) {
    testing::SteppingClock clock;
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

TEST(SplashTest, ClosesOnAClickOnItsSurfaceOrAnyKeyButNotOnTheLogoOrNotice) {
  testing::SteppingClock clock;
  frmSplash splash(clock);
  splash.load();
  splash.click("Image1");
  splash.click("Label1");
  splash.mouseDown("Image1", ui::MouseButton::Left);
  EXPECT_TRUE(splash.loaded());
  splash.click("");
  EXPECT_FALSE(splash.loaded());

  for (int key : {0, 13, 27, 97}) {
    frmSplash another(clock);
    another.load();
    another.timerTick("Timer1");
    another.keyPress(key);
    EXPECT_FALSE(another.loaded()) << "key " << key;
  }
}

}  // namespace
}  // namespace pm
