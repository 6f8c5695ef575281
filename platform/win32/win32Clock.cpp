#include "platform/win32/win32Clock.h"

#include <windows.h>

#include "platform/win32/wideText.h"

namespace pm::win32 {

DateTime Win32Clock::now() {
  SYSTEMTIME t;
  GetLocalTime(&t);
  return DateTime::fromCivil(t.wYear, t.wMonth, t.wDay, t.wHour, t.wMinute, t.wSecond);
}

void Win32Clock::sleepUntil(DateTime when) {
  for (;;) {
    SYSTEMTIME t;
    GetLocalTime(&t);
    const DateTime at =
        DateTime::fromCivil(t.wYear, t.wMonth, t.wDay, t.wHour, t.wMinute, t.wSecond);
    if (at >= when) return;
    // Up to the next second boundary, then look again (the clock may be set).
    Sleep(1000 - t.wMilliseconds);
  }
}

std::string Win32Clock::shortDate(const CivilDate& date) {
  SYSTEMTIME t{};
  t.wYear = static_cast<WORD>(date.year);
  t.wMonth = static_cast<WORD>(date.month);
  t.wDay = static_cast<WORD>(date.day);
  wchar_t buffer[128];
  const int n =
      GetDateFormatEx(LOCALE_NAME_USER_DEFAULT, DATE_SHORTDATE, &t, nullptr, buffer, 128, nullptr);
  if (n <= 1) {
    return std::to_string(date.month) + "/" + std::to_string(date.day) + "/" +
           std::to_string(date.year);
  }
  return narrow(std::wstring_view(buffer, static_cast<std::size_t>(n - 1)));
}

}  // namespace pm::win32
