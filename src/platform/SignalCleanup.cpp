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

// The mapped files NameOnShrink names; written like g_paths.
struct Mapping {
  const char* begin;
  std::size_t size;
  char path[PATH_MAX];
};
Mapping g_mappings[kSlots];
volatile sig_atomic_t g_mapped[kSlots];

// Only async-signal-safe calls below.
void removeTemporaries() {
  for (int i = 0; i < kSlots; ++i)
    if (g_used[i]) ::unlink(g_paths[i]);
}

void put(const char* text) {
  std::size_t n = 0;
  while (text[n]) ++n;
  while (n > 0) {
    ssize_t w = ::write(2, text, n);
    if (w <= 0) return;
    text += w;
    n -= static_cast<std::size_t>(w);
  }
}

// A read of a mapped file past its end, once the file has shrunk, faults
// here. The fault cannot be undone in the middle of a read, so the run ends,
// as a run that could not read its machine does: temporaries removed, the
// file named, status 2 (a restartable read of every mapped byte would cost
// a check on each of them).
void busError(int sig, siginfo_t* info, void*) {
  removeTemporaries();
  const char* at = static_cast<const char*>(info->si_addr);
  for (int i = 0; i < kSlots; ++i) {
    const Mapping& m = g_mappings[i];
    if (!g_mapped[i] || at < m.begin || at >= m.begin + m.size) continue;
    put("comsweep: ");
    put(m.path);
    put(": changed while it was being read (it shrank); the run was stopped\n");
    ::_exit(2);
  }
  ::signal(sig, SIG_DFL);
  ::raise(sig);
}

void cleanUp(int sig) {
  removeTemporaries();
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
  struct sigaction bus {};
  bus.sa_sigaction = busError;
  bus.sa_flags = SA_SIGINFO;
  sigemptyset(&bus.sa_mask);
  for (int sig : kSignals) sigaddset(&bus.sa_mask, sig);
  ::sigaction(SIGBUS, &bus, nullptr);
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

namespace comsweep::platform {

void NameOnShrink::name(const void* data, std::size_t size, const std::filesystem::path& file) {
  forget();
  const std::string& text = file.native();
  if (text.size() >= PATH_MAX) return;
  SignalsHeld blocked;
  for (int i = 0; i < kSlots; ++i) {
    if (g_mapped[i]) continue;
    g_mappings[i].begin = static_cast<const char*>(data);
    g_mappings[i].size = size;
    std::memcpy(g_mappings[i].path, text.c_str(), text.size() + 1);
    g_mapped[i] = 1;
    m_slot = i;
    return;
  }
}

void NameOnShrink::forget() {
  if (m_slot < 0) return;
  g_mapped[m_slot] = 0;
  m_slot = -1;
}

}  // namespace comsweep::platform
