#include "platform/posix/posixClock.h"

#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <optional>
#include <vector>

namespace pm::posix {
namespace {

using std::chrono::milliseconds;
using std::chrono::steady_clock;

// The install's pacing: a wait ends on the awaited second, not before and not much after.
TEST(PosixClock, SleepsToTheSecondBoundaryAndNoFurther) {
  PosixClock clock;
  auto begin = steady_clock::now();
  clock.sleepUntil(DateTime::fromCivil(2000, 1, 1));  // long past
  EXPECT_LT(steady_clock::now() - begin, milliseconds(20));
  clock.sleepUntil(DateTime{clock.now().seconds + 1});
  // Right after a boundary, two seconds ahead takes more than one second.
  begin = steady_clock::now();
  const DateTime later{clock.now().seconds + 2};
  clock.sleepUntil(later);
  EXPECT_GE(steady_clock::now() - begin, milliseconds(1500));
  EXPECT_LE(steady_clock::now() - begin, milliseconds(2100));
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
  ::setenv("LANG", "no_SUCH.locale", 1);
  EXPECT_EQ(clock.shortDate({2027, 1, 5}), "1/5/2027");
  for (const auto& [v, old] : saved) old ? ::setenv(v, old->c_str(), 1) : ::unsetenv(v);
}

}  // namespace
}  // namespace pm::posix
