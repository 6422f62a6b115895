#pragma once
// What an interrupted run leaves behind: nothing. SIGINT, SIGTERM and SIGHUP
// end the program as they would without handlers, but first remove the
// temporary files registered here. So does SIGBUS (see NameOnShrink).
// The files a run replaces are renamed into place in one step, so the
// machine is then either as it was or as the run left it.
//
// On Windows, Ctrl+C, Ctrl+Break and closing the console stand for those
// signals; they arrive on a thread of their own, so holding them back is
// not needed there and does nothing.

#include <cstddef>
#include <filesystem>

namespace comsweep::platform {

// Installs the handlers; once per process, before the first temporary file.
// It also ignores SIGXFSZ, so that a write past the file size limit fails
// like any other. On Windows it turns off the system's error boxes for the
// process.
void installSignalCleanup();

// Holds those signals back while it lives; they arrive when it goes. So a
// file is created and registered, or a child started and registered, as one
// step that no signal falls between.
class SignalsHeld {
 public:
  SignalsHeld();
  ~SignalsHeld() { release(); }
  SignalsHeld(const SignalsHeld&) = delete;
  SignalsHeld& operator=(const SignalsHeld&) = delete;
  // Lets the signals through again now (also in a forked child).
  void release();

 private:
  // The signal mask to restore (a sigset_t on POSIX).
  alignas(8) unsigned char m_old[128];
  bool m_held = true;
};

// Registers a file for removal on those signals while the guard lives. A
// handful may be registered at once; beyond that, registration is skipped
// (the file is then only removed by its owner, as without a signal).
class RemoveOnSignal {
 public:
  explicit RemoveOnSignal(const std::filesystem::path& path);
  ~RemoveOnSignal();
  RemoveOnSignal(const RemoveOnSignal&) = delete;
  RemoveOnSignal& operator=(const RemoveOnSignal&) = delete;

 private:
  int m_slot;
};

// Names a file mapped at [data, data + size) while the guard lives. Reading
// it after the file has shrunk raises SIGBUS; the handler then removes the
// registered temporary files, says on standard error which file shrank, and
// ends the run with status 2 instead of letting it die without a word. On
// Windows a mapped file cannot shrink, and this does nothing.
class NameOnShrink {
 public:
  NameOnShrink() = default;
  ~NameOnShrink() { forget(); }
  NameOnShrink(const NameOnShrink&) = delete;
  NameOnShrink& operator=(const NameOnShrink&) = delete;
  // Replaces what was named before. Beyond a handful of mappings at once
  // the file is not named (a shrink then ends the run as the signal does).
  void name(const void* data, std::size_t size, const std::filesystem::path& file);
  void forget();

 private:
  int m_slot = -1;
};

}  // namespace comsweep::platform
