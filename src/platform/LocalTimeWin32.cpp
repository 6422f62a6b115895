#include "platform/LocalTime.h"

#include <windows.h>

#include "platform/WideText.h"

namespace comsweep::platform {

bool localTime(std::time_t time, std::tm& out) { return ::localtime_s(&out, &time) == 0; }

std::string shortDateTimeText(std::time_t time) {
  std::tm local{};
  localTime(time, local);
  SYSTEMTIME when{};
  when.wYear = static_cast<WORD>(local.tm_year + 1900);
  when.wMonth = static_cast<WORD>(local.tm_mon + 1);
  when.wDayOfWeek = static_cast<WORD>(local.tm_wday);
  when.wDay = static_cast<WORD>(local.tm_mday);
  when.wHour = static_cast<WORD>(local.tm_hour);
  when.wMinute = static_cast<WORD>(local.tm_min);
  when.wSecond = static_cast<WORD>(local.tm_sec);
  wchar_t date[128], clock[128];
  if (::GetDateFormatEx(LOCALE_NAME_USER_DEFAULT, DATE_SHORTDATE, &when, nullptr, date,
                        static_cast<int>(std::size(date)), nullptr) == 0)
    date[0] = L'\0';
  if (::GetTimeFormatEx(LOCALE_NAME_USER_DEFAULT, 0, &when, nullptr, clock,
                        static_cast<int>(std::size(clock))) == 0)
    clock[0] = L'\0';
  return narrowText(date) + " " + narrowText(clock);
}

}  // namespace comsweep::platform
