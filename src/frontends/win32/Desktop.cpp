#include "frontends/win32/Desktop.h"

#include <windows.h>

#include <cstdlib>

namespace comsweep::win32 {
namespace {

bool isSet(const wchar_t* name) {
  const wchar_t* value = _wgetenv(name);
  return value != nullptr && *value != L'\0';
}

// Wine hands the Unix environment on to its programs.
bool underWine() {
  HMODULE ntdll = GetModuleHandleW(L"ntdll.dll");
  return ntdll != nullptr && GetProcAddress(ntdll, "wine_get_version") != nullptr;
}

constexpr const char* kWhatToDo =
    "An unattended run needs no desktop: give switches, for example 'comsweep.exe /M9Q' (see "
    "'comsweep.exe --help').\n";

}  // namespace

std::string missingDesktopMessage() {
  if (underWine()) {
    if (isSet(L"DISPLAY") || isSet(L"WAYLAND_DISPLAY")) return {};
    return std::string("comsweep: no display to open the windows on (Wine sees neither DISPLAY nor "
                       "WAYLAND_DISPLAY).\n") +
           kWhatToDo;
  }
  USEROBJECTFLAGS flags{};
  DWORD needed = 0;
  HWINSTA station = GetProcessWindowStation();
  if (station != nullptr &&
      GetUserObjectInformationW(station, UOI_FLAGS, &flags, sizeof flags, &needed) &&
      (flags.dwFlags & WSF_VISIBLE) == 0)
    return std::string("comsweep: no desktop to open the windows on (started as a service or "
                       "by a scheduled task without a logged-on user).\n") +
           kWhatToDo;
  DWORD session = 0;
  if (ProcessIdToSessionId(GetCurrentProcessId(), &session) && session == 0)
    return std::string("comsweep: no desktop to open the windows on (session 0 is the services' "
                       "session).\n") +
           kWhatToDo;
  return {};
}

}  // namespace comsweep::win32
