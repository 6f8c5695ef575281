#include "platform/posix/posixClock.h"

#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <ctime>
#include <optional>

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
  EXPECT_EQ(clock.today(), clock.now().date());
}

TEST(PosixClock, SleepsToTheNextSecondBoundaryAndNoFurther) {
  PosixClock clock;
  auto begin = steady_clock::now();
  clock.sleepUntil(DateTime::fromCivil(2000, 1, 1));  // long past
  EXPECT_LT(steady_clock::now() - begin, milliseconds(20));

  for (int i = 0; i < 2; ++i) {
    const DateTime when{clock.now().seconds + 1};
    begin = steady_clock::now();
    clock.sleepUntil(when);
    const auto took = steady_clock::now() - begin;
    EXPECT_GE(clock.now(), when);  // the second has really changed
    EXPECT_LE(took, milliseconds(1100));
  }
  // Two seconds ahead takes more than one second.
  clock.sleepUntil(DateTime{clock.now().seconds + 1});
  begin = steady_clock::now();
  const DateTime when{clock.now().seconds + 2};
  clock.sleepUntil(when);
  EXPECT_GE(steady_clock::now() - begin, milliseconds(1500));
  EXPECT_GE(clock.now(), when);
}

class ScopedLocaleEnv {
 public:
  ScopedLocaleEnv() {
    for (const char* v : {"LC_ALL", "LC_TIME", "LANG"}) {
      const char* old = std::getenv(v);
      saved_.emplace_back(v, old ? std::optional<std::string>(old) : std::nullopt);
      ::unsetenv(v);
    }
  }
  ~ScopedLocaleEnv() {
    for (const auto& [name, value] : saved_) {
      if (value) {
        ::setenv(name, value->c_str(), 1);
      } else {
        ::unsetenv(name);
      }
    }
  }

 private:
  std::vector<std::pair<const char*, std::optional<std::string>>> saved_;
};

TEST(PosixClock, ShortDateWithoutALocaleIsMonthDayYear) {
  ScopedLocaleEnv env;
  PosixClock clock;
  EXPECT_EQ(clock.shortDate({2026, 12, 6}), "12/6/2026");
  EXPECT_EQ(clock.shortDate({2027, 1, 5}), "1/5/2027");
  for (const char* name : {"C", "POSIX", "C.UTF-8", "no_SUCH.locale"}) {
    ::setenv("LANG", name, 1);
    EXPECT_EQ(clock.shortDate({2026, 12, 6}), "12/6/2026") << name;
  }
  // LC_ALL wins over LANG.
  ::setenv("LC_ALL", "C", 1);
  EXPECT_EQ(clock.shortDate({2026, 12, 6}), "12/6/2026");
}

}  // namespace
}  // namespace pm::posix
