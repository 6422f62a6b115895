#include "platform/SignalCleanup.h"

#include <limits.h>
#include <signal.h>
#include <unistd.h>

#include <atomic>
#include <cstring>

namespace comsweep::platform {
namespace {

constexpr int kSlots = 16;
constexpr int kSignals[] = {SIGINT, SIGTERM, SIGHUP};

// Written only with the signals held; read by the handler.
char g_paths[kSlots][PATH_MAX];
volatile sig_atomic_t g_used[kSlots];

// Only async-signal-safe calls below.
void cleanUp(int sig) {
  for (int i = 0; i < kSlots; ++i)
    if (g_used[i]) ::unlink(g_paths[i]);
  // Ends the program the way the signal would have.
  ::signal(sig, SIG_DFL);
  ::raise(sig);
}

}  // namespace

SignalsHeld::SignalsHeld() {
  sigset_t set;
  sigemptyset(&set);
  for (int sig : kSignals) sigaddset(&set, sig);
  static_assert(sizeof(sigset_t) <= sizeof m_old);
  ::pthread_sigmask(SIG_BLOCK, &set, reinterpret_cast<sigset_t*>(m_old));
}

void SignalsHeld::release() {
  if (!m_held) return;
  m_held = false;
  ::pthread_sigmask(SIG_SETMASK, reinterpret_cast<sigset_t*>(m_old), nullptr);
}

void installSignalCleanup() {
  static std::atomic<bool> installed{false};
  if (installed.exchange(true)) return;
  // A write past the file size limit then fails with EFBIG, and the run
  // reports it like a full disk, instead of ending half-way without a log.
  ::signal(SIGXFSZ, SIG_IGN);
  struct sigaction action {};
  action.sa_handler = cleanUp;
  sigemptyset(&action.sa_mask);
  for (int sig : kSignals) sigaddset(&action.sa_mask, sig);
  for (int sig : kSignals) {
    struct sigaction old {};
    // A signal the caller chose to ignore (nohup) stays ignored.
    if (::sigaction(sig, nullptr, &old) == 0 && old.sa_handler == SIG_IGN) continue;
    ::sigaction(sig, &action, nullptr);
  }
}

RemoveOnSignal::RemoveOnSignal(const std::filesystem::path& path) : m_slot(-1) {
  const std::string& text = path.native();
  if (text.size() >= PATH_MAX) return;
  SignalsHeld blocked;
  for (int i = 0; i < kSlots; ++i) {
    if (g_used[i]) continue;
    std::memcpy(g_paths[i], text.c_str(), text.size() + 1);
    g_used[i] = 1;
    m_slot = i;
    return;
  }
}

RemoveOnSignal::~RemoveOnSignal() {
  if (m_slot < 0) return;
  SignalsHeld blocked;
  g_used[m_slot] = 0;
}

}  // namespace comsweep::platform
