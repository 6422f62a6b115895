#include "app/MachineChooser.h"

#include <algorithm>

namespace comsweep::app {
namespace fs = std::filesystem;

MachineChooser::MachineChooser(std::vector<fs::path> choices, Opener opener,
                               std::chrono::milliseconds lockWait)
    : m_choices(std::move(choices)),
      m_opener(std::move(opener)),
      m_lockWait(lockWait) {
  if (m_choices.empty()) m_choices.emplace_back();
}

MachineChooser::~MachineChooser() {
  if (m_reader.joinable()) m_reader.join();
}

void MachineChooser::select(const fs::path& path) {
  waitForReading();
  auto known = std::find(m_choices.begin(), m_choices.end(), path);
  m_chosen = static_cast<std::size_t>(known - m_choices.begin());
  if (known == m_choices.end()) m_choices.push_back(path);
  // A run must never reach the machine the operator has just turned from.
  m_machine.reset();
  m_error.clear();
}

void MachineChooser::choose(const fs::path& path) {
  select(path);
  m_readerDone = false;
  m_readingStarted = std::chrono::steady_clock::now();
  m_reader = std::thread([this, path] {
    m_read = m_opener(path);
    m_readerDone = true;
  });
}

std::chrono::milliseconds MachineChooser::readingTime() const {
  if (!reading()) return {};
  return std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() -
                                                               m_readingStarted);
}

bool MachineChooser::collect() { return m_readerDone && waitForReading(); }

bool MachineChooser::waitForReading() {
  if (!m_reader.joinable()) return false;
  m_reader.join();
  install(std::move(m_read));
  m_read = {};
  return true;
}

void MachineChooser::install(registry::MachineOpenResult opened) {
  m_machine = std::move(opened.machine);
  m_error = m_machine ? std::string() : opened.failure.why;
}

void MachineChooser::adopt(std::unique_ptr<registry::Machine> machine) {
  select(machine->path);
  registry::MachineOpenResult opened;
  opened.machine = std::move(machine);
  install(std::move(opened));
}

std::string MachineChooser::whyNotReady() const {
  if (reading()) return chosen().string() + ": is still being read; start the run once it is read";
  return m_machine ? std::string() : m_error;
}

std::string MachineChooser::takeLock() {
  if (!m_machine) return whyNotReady();
  if (m_machine->lockTarget.empty()) return {};  // nothing else reaches it
  return registry::retakeLocks(*m_machine, m_lockWait);  // the users' files too
}

}  // namespace comsweep::app
