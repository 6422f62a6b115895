#include "platform/SignalCleanup.h"

#include <windows.h>

#include <atomic>
#include <cstring>
#include <string>

namespace comsweep::platform {
namespace {

constexpr int kSlots = 8;
constexpr std::size_t kPathMax = 32768;

// Written under the lock; read by the console handler, which runs on a
// thread of its own while the program goes on.
SRWLOCK g_lock = SRWLOCK_INIT;
wchar_t g_paths[kSlots][kPathMax];
bool g_used[kSlots];

BOOL WINAPI cleanUp(DWORD) {
  ::AcquireSRWLockExclusive(&g_lock);
  for (int i = 0; i < kSlots; ++i)
    if (g_used[i]) ::DeleteFileW(g_paths[i]);
  // Left held: no file is created or registered any more while the
  // default handler ends the program.
  return FALSE;
}

}  // namespace

SignalsHeld::SignalsHeld() : m_old{} {}

void SignalsHeld::release() { m_held = false; }

void installSignalCleanup() {
  static std::atomic<bool> installed{false};
  if (installed.exchange(true)) return;
  ::SetConsoleCtrlHandler(cleanUp, TRUE);
  // Nor may the system stop the run with a box of its own (a drive not
  // ready, a crash report): a run pushed to many machines has nobody to
  // click it away, so it fails instead and says so.
  ::SetErrorMode(SEM_FAILCRITICALERRORS | SEM_NOGPFAULTERRORBOX | SEM_NOOPENFILEERRORBOX);
}

RemoveOnSignal::RemoveOnSignal(const std::filesystem::path& path) : m_slot(-1) {
  const std::wstring& text = path.native();
  if (text.size() >= kPathMax) return;
  ::AcquireSRWLockExclusive(&g_lock);
  for (int i = 0; i < kSlots; ++i) {
    if (g_used[i]) continue;
    std::memcpy(g_paths[i], text.c_str(), (text.size() + 1) * sizeof(wchar_t));
    g_used[i] = true;
    m_slot = i;
    break;
  }
  ::ReleaseSRWLockExclusive(&g_lock);
}

RemoveOnSignal::~RemoveOnSignal() {
  if (m_slot < 0) return;
  ::AcquireSRWLockExclusive(&g_lock);
  g_used[m_slot] = false;
  ::ReleaseSRWLockExclusive(&g_lock);
}

void NameOnShrink::name(const void*, std::size_t, const std::filesystem::path&) {}

void NameOnShrink::forget() {}

}  // namespace comsweep::platform
