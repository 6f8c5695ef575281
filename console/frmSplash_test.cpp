#include "console/frmSplash.h"

#include <gtest/gtest.h>

#include "tests/windowTestRig.h"

namespace pm {
namespace {

// Runs the splash's timer every 100 ms of the clock until it closes; returns
// the seconds from its first tick to its close (or -1 after a minute).
double runTimer(frmSplash& splash, testing::SteppingClock& clock) {
  std::int64_t firstTick = -1;
  for (int i = 0; i < 600 && splash.loaded(); ++i) {
    clock.millis += 100;
    if (firstTick < 0) firstTick = clock.millis;
    splash.timerTick("Timer1");
  }
  return splash.loaded() ? -1 : (clock.millis - firstTick) / 1000.0;
}

TEST(SplashTest, ClosesOnItsOwnBetweenFifteenAndSixteenSecondsAfterTheFirstTick) {
  for (int offset : {0, 50, 450, 950}) {
    testing::SteppingClock clock;
    clock.millis += offset;
    frmSplash splash(clock);
    splash.load();
    EXPECT_EQ(splash.control("Timer1").interval, 100);
    EXPECT_TRUE(splash.control("Timer1").enabled);
    EXPECT_FALSE(splash.startTime.has_value());
    const double shown = runTimer(splash, clock);
    EXPECT_GT(shown, 15.0) << "offset " << offset;
    EXPECT_LE(shown, 16.0) << "offset " << offset;
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
