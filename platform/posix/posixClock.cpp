#include "platform/posix/posixClock.h"

#include <langinfo.h>
#include <locale.h>
#include <time.h>

#include <cerrno>
#include <cstdlib>
#include <string>

#include "platform/posix/posixFileSystem.h"

namespace pm::posix {
namespace {

// The locale name that LC_TIME takes from the environment.
std::string timeLocaleName() {
  for (const char* var : {"LC_ALL", "LC_TIME", "LANG"}) {
    if (const char* v = std::getenv(var); v && *v) return v;
  }
  return "C";
}

bool isPlainLocale(const std::string& name) {
  return name == "C" || name == "POSIX" || name.rfind("C.", 0) == 0;
}

std::string defaultShortDate(const CivilDate& date) {
  return std::to_string(date.month) + "/" + std::to_string(date.day) + "/" +
         std::to_string(date.year);
}

}  // namespace

// Read from the same clock that sleepUntil() sleeps on: time() reads a coarse
// clock that can lag a few milliseconds behind, so right after waking on a
// second boundary it could still give the second before.
DateTime PosixClock::now() {
  struct timespec real {};
  ::clock_gettime(CLOCK_REALTIME, &real);
  return fromHostTime(real.tv_sec);
}

void PosixClock::sleepUntil(DateTime when) {
  for (;;) {
    struct timespec real {};
    ::clock_gettime(CLOCK_REALTIME, &real);
    const DateTime local = fromHostTime(real.tv_sec);
    if (local >= when) return;
    // Sleep to the second boundary at which the local clock should reach `when`
    // (at least the next one); the loop checks again, so a time zone or clock
    // change only costs another round.
    const std::int64_t ahead = when.seconds - local.seconds;
    struct timespec until {};
    until.tv_sec = real.tv_sec + static_cast<time_t>(ahead > 0 ? ahead : 1);
    until.tv_nsec = 0;
    while (::clock_nanosleep(CLOCK_REALTIME, TIMER_ABSTIME, &until, nullptr) == EINTR) {
    }
  }
}

std::string PosixClock::shortDate(const CivilDate& date) {
  const std::string name = timeLocaleName();
  if (isPlainLocale(name)) return defaultShortDate(date);
  locale_t loc = ::newlocale(LC_TIME_MASK, name.c_str(), static_cast<locale_t>(0));
  if (loc == static_cast<locale_t>(0)) return defaultShortDate(date);
  const std::string format = ::nl_langinfo_l(D_FMT, loc);
  struct tm tm {};
  tm.tm_year = date.year - 1900;
  tm.tm_mon = date.month - 1;
  tm.tm_mday = date.day;
  tm.tm_hour = 12;
  ::timegm(&tm);  // fills in the weekday and day of the year
  char buffer[128];
  const std::size_t n =
      format.empty() ? 0 : ::strftime_l(buffer, sizeof buffer, format.c_str(), &tm, loc);
  ::freelocale(loc);
  if (n == 0) return defaultShortDate(date);
  return std::string(buffer, n);
}

}  // namespace pm::posix
