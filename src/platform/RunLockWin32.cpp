#include "platform/RunLock.h"

#include <windows.h>

#include <cstdio>

#include "platform/WideText.h"

namespace comsweep::platform {
namespace {

std::string describe(DWORD code) {
  wchar_t* text = nullptr;
  ::FormatMessageW(FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM |
                       FORMAT_MESSAGE_IGNORE_INSERTS,
                   nullptr, code, 0, reinterpret_cast<wchar_t*>(&text), 0, nullptr);
  std::string out = text ? narrowText(text) : "error " + std::to_string(code);
  if (text) ::LocalFree(text);
  while (!out.empty() && (out.back() == '\n' || out.back() == '\r' || out.back() == '.'))
    out.pop_back();
  return out;
}

// One name per file for every session: the full path, upper-cased as the
// file system compares names; a backslash may not follow the namespace.
std::wstring mutexName(const std::filesystem::path& target) {
  wchar_t full[32768];
  DWORD n = ::GetFullPathNameW(target.c_str(), 32768, full, nullptr);
  std::wstring path = n > 0 && n < 32768 ? std::wstring(full, n) : target.native();
  ::LCMapStringEx(LOCALE_NAME_INVARIANT, LCMAP_UPPERCASE, path.data(), static_cast<int>(path.size()),
                  path.data(), static_cast<int>(path.size()), nullptr, nullptr, 0);
  for (wchar_t& c : path)
    if (c == L'\\') c = L'/';
  return L"Global\\comsweep-run:" + path;
}

}  // namespace

RunLock RunLock::acquire(const std::filesystem::path& target, std::chrono::milliseconds wait,
                         std::string& error) {
  HANDLE mutex = ::CreateMutexW(nullptr, FALSE, mutexName(target).c_str());
  if (!mutex) {
    error = target.string() + ": cannot be locked: " + describe(::GetLastError());
    return {};
  }
  // A run that ended without releasing it (killed) leaves it abandoned: ours.
  DWORD waited = ::WaitForSingleObject(mutex, static_cast<DWORD>(wait.count()));
  if (waited != WAIT_OBJECT_0 && waited != WAIT_ABANDONED) {
    DWORD code = ::GetLastError();
    ::CloseHandle(mutex);
    if (waited != WAIT_TIMEOUT) {
      error = target.string() + ": cannot be locked: " + describe(code);
      return {};
    }
    char seconds[32];
    if (wait.count() % 1000 == 0)
      std::snprintf(seconds, sizeof seconds, "%lld", static_cast<long long>(wait.count() / 1000));
    else
      std::snprintf(seconds, sizeof seconds, "%.1f", static_cast<double>(wait.count()) / 1000);
    error = target.string() + ": another comsweep run is working on this machine (waited " +
            seconds + (wait.count() == 1000 ? " second" : " seconds") +
            "); try again when it has ended";
    return {};
  }
  return RunLock(std::shared_ptr<void>(mutex, [](void* held) {
    ::ReleaseMutex(held);
    ::CloseHandle(held);
  }));
}

}  // namespace comsweep::platform
