// The clock: local time from GetLocalTime, waits with Sleep, and the user's
// short date format (GetDateFormatEx with LOCALE_NAME_USER_DEFAULT).
#pragma once

#include "platform/clock.h"

namespace pm::win32 {

class Win32Clock : public Clock {
 public:
  DateTime now() override;
  void sleepUntil(DateTime when) override;
  std::string shortDate(const CivilDate& date) override;
};

}  // namespace pm::win32
