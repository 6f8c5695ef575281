#include "platform/posix/posixClock.h"

#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <ctime>
#include <optional>
#include <vector>

namespace pm::posix {
namespace {

using std::chrono::milliseconds;
using std::chrono::steady_clock;

TEST(PosixClock, NowIsLocalTimeToTheSecond) {
  PosixClock clock;
  const std::time_t t = std::time(nullptr);
  struct tm tm {};
  localtime_r(&t, &tm);
  const DateTime expected = DateTime::fromCivil(tm.tm_year + 1900, tm.tm_mon + 1, tm.tm_mday,
                                                tm.tm_hour, tm.tm_min, tm.tm_sec);
  EXPECT_LE(std::llabs(clock.now().seconds - expected.seconds), 1);
}

TEST(PosixClock, SleepsToTheNextSecondBoundaryAndNoFurther) {
  PosixClock clock;
  auto begin = steady_clock::now();
  clock.sleepUntil(DateTime::fromCivil(2000, 1, 1));  // long past
  EXPECT_LT(steady_clock::now() - begin, milliseconds(20));

  const DateTime next{clock.now().seconds + 1};
  begin = steady_clock::now();
  clock.sleepUntil(next);
  EXPECT_GE(clock.now(), next);  // the second has really changed
  EXPECT_LE(steady_clock::now() - begin, milliseconds(1100));
  // Right after a boundary, two seconds ahead takes more than one second.
  begin = steady_clock::now();
  const DateTime later{clock.now().seconds + 2};
  clock.sleepUntil(later);
  EXPECT_GE(steady_clock::now() - begin, milliseconds(1500));
  EXPECT_GE(clock.now(), later);
}

TEST(PosixClock, ShortDateWithoutALocaleIsMonthDayYear) {
  std::vector<std::pair<const char*, std::optional<std::string>>> saved;
  for (const char* v : {"LC_ALL", "LC_TIME", "LANG"}) {
    const char* old = std::getenv(v);
    saved.emplace_back(v, old ? std::optional<std::string>(old) : std::nullopt);
    ::unsetenv(v);
  }
  PosixClock clock;
  EXPECT_EQ(clock.shortDate({2026, 12, 6}), "12/6/2026");
  for (const char* name : {"C", "C.UTF-8", "no_SUCH.locale"}) {
    ::setenv("LANG", name, 1);
    EXPECT_EQ(clock.shortDate({2027, 1, 5}), "1/5/2027") << name;
  }
  for (const auto& [v, old] : saved) old ? ::setenv(v, old->c_str(), 1) : ::unsetenv(v);
}

}  // namespace
}  // namespace pm::posix
