#include "platform/RunLock.h"

#include <windows.h>
#include <io.h>

#include <cstdio>
#include <thread>

namespace comsweep::platform {
namespace {

// The lock is a byte range far beyond any file's end: it excludes other runs
// without keeping anyone, this run included, from reading the file.
constexpr DWORD kLockOffsetHigh = 0x7FFFFFFF;

std::string describe(DWORD code) {
  wchar_t* text = nullptr;
  ::FormatMessageW(FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM |
                       FORMAT_MESSAGE_IGNORE_INSERTS,
                   nullptr, code, 0, reinterpret_cast<wchar_t*>(&text), 0, nullptr);
  std::string out = text ? std::filesystem::path(text).string() : "error " + std::to_string(code);
  if (text) ::LocalFree(text);
  while (!out.empty() && (out.back() == '\n' || out.back() == '\r' || out.back() == '.'))
    out.pop_back();
  return out;
}

}  // namespace

RunLock RunLock::acquire(const std::filesystem::path& target, std::chrono::milliseconds wait,
                         std::string& error) {
  const auto deadline = std::chrono::steady_clock::now() + wait;
  HANDLE h = ::CreateFileW(target.c_str(), GENERIC_READ,
                           FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                           OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
  if (h == INVALID_HANDLE_VALUE) {
    error = target.string() + ": cannot be locked: " + describe(::GetLastError());
    return {};
  }
  for (;;) {
    OVERLAPPED at{};
    at.OffsetHigh = kLockOffsetHigh;
    if (::LockFileEx(h, LOCKFILE_EXCLUSIVE_LOCK | LOCKFILE_FAIL_IMMEDIATELY, 0, 1, 0, &at)) break;
    DWORD code = ::GetLastError();
    if (code != ERROR_LOCK_VIOLATION && code != ERROR_IO_PENDING) {
      ::CloseHandle(h);
      error = target.string() + ": cannot be locked: " + describe(code);
      return {};
    }
    if (std::chrono::steady_clock::now() >= deadline) {
      ::CloseHandle(h);
      char waited[32];
      if (wait.count() % 1000 == 0)
        std::snprintf(waited, sizeof waited, "%lld", static_cast<long long>(wait.count() / 1000));
      else
        std::snprintf(waited, sizeof waited, "%.1f", static_cast<double>(wait.count()) / 1000);
      error = target.string() + ": another comsweep run is working on this machine (waited " +
              waited + (wait.count() == 1000 ? " second" : " seconds") +
              "); try again when it has ended";
      return {};
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
  }
  // The lock goes with the handle, closed with the descriptor.
  return RunLock(FileDescriptor(::_open_osfhandle(reinterpret_cast<intptr_t>(h), 0)));
}

}  // namespace comsweep::platform
