#pragma once
// The machine an interactive start works on, as the operator chooses it in
// the main window: the machines offered, and the reading of the chosen one
// on a thread of its own, so that the windows stay live while a large
// registry is read. A run starts on the machine chosen and read then: its
// session (registry calls, log, backup) is made for that machine, and the
// run lock is taken here.

#include <atomic>
#include <chrono>
#include <filesystem>
#include <functional>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "machine/Machine.h"

namespace comsweep::app {

class MachineChooser {
 public:
  // Opens a machine; called on the reading thread, so it must touch nothing
  // the windows use.
  using Opener = std::function<registry::MachineOpenResult(const std::filesystem::path&)>;

  // `choices` are offered in this order; nothing is read before choose().
  MachineChooser(std::vector<std::filesystem::path> choices, Opener opener,
                 std::chrono::milliseconds lockWait = registry::kDefaultLockWait);
  // Waits for a reading under way.
  ~MachineChooser();
  MachineChooser(const MachineChooser&) = delete;
  MachineChooser& operator=(const MachineChooser&) = delete;

  const std::vector<std::filesystem::path>& choices() const { return m_choices; }
  // The machine chosen last, an element of choices().
  const std::filesystem::path& chosen() const { return m_choices[m_chosen]; }
  std::size_t chosenIndex() const { return m_chosen; }

  // Starts reading `path`; a path not offered yet joins the choices at
  // their end. The machine read before is let go at once: a run waits for
  // this one. A reading under way is waited for and dropped first.
  void choose(const std::filesystem::path& path);
  // From choose() until collect() has taken the reading's outcome.
  bool reading() const { return m_reader.joinable(); }
  // How long the reading under way has taken so far.
  std::chrono::milliseconds readingTime() const;
  // On the windows' thread: true once, after a reading has ended; machine()
  // and error() then tell its outcome.
  bool collect();
  // Waits for a reading under way and collects it; true when there was one.
  bool waitForReading();
  // Makes `machine`, opened elsewhere, the chosen one at once.
  void adopt(std::unique_ptr<registry::Machine> machine);

  // The chosen machine once read; null while it is read or when it could
  // not be opened (error() says why).
  registry::Machine* machine() { return m_machine.get(); }
  const registry::Machine* machine() const { return m_machine.get(); }
  const std::string& error() const { return m_error; }

  // Empty when the chosen machine is read and opened; otherwise why a run
  // cannot start on it, as one line.
  std::string whyNotReady() const;
  // Takes the read machine's run lock for a run (the window waits without
  // it); empty when taken, else why not.
  std::string takeLock();

 private:
  // Makes `path` the chosen machine, with none read yet.
  void select(const std::filesystem::path& path);
  void install(registry::MachineOpenResult opened);

  std::vector<std::filesystem::path> m_choices;
  std::size_t m_chosen = 0;
  Opener m_opener;
  std::chrono::milliseconds m_lockWait;

  std::thread m_reader;
  std::atomic<bool> m_readerDone{false};
  registry::MachineOpenResult m_read;  // the reader's outcome, once done
  std::chrono::steady_clock::time_point m_readingStarted;

  std::unique_ptr<registry::Machine> m_machine;
  std::string m_error;
};

}  // namespace comsweep::app
