#pragma once
// Loading a large file on two cores: the part of the work that can go on
// beside the caller's runs on a thread of its own. A load that splits its
// work gives the same result as one that does not; the split only saves
// time, and only where there is a second core and enough to read.

#include <cstddef>
#include <exception>
#include <thread>
#include <utility>

namespace comsweep::registry {

// Whether work on `bytes` of input is worth a second thread: the machine
// has more than one core, the input is at least the split threshold, and
// COMSWEEP_ONE_CORE is not set in the environment (to a value other than 0).
bool splitWork(std::size_t bytes);
// The least input that is split (4 MiB, or COMSWEEP_SPLIT_BYTES from the
// environment); the tests lower it to
// compare both paths on small inputs, or raise it to force one core.
void setSplitThreshold(std::size_t bytes);
std::size_t splitThreshold();

// Runs `work` on a thread of its own from construction to join(). What it
// throws is handed to the thread that joins, which rethrows it there; the
// destructor joins a task that was never joined (and drops what it threw).
class SideTask {
 public:
  template <typename Work>
  explicit SideTask(Work&& work)
      : m_thread([this, w = std::forward<Work>(work)]() mutable {
          try {
            w();
          } catch (...) {
            m_failure = std::current_exception();
          }
        }) {}
  SideTask(const SideTask&) = delete;
  SideTask& operator=(const SideTask&) = delete;
  ~SideTask() {
    if (m_thread.joinable()) m_thread.join();
  }

  void join() {
    if (m_thread.joinable()) m_thread.join();
    if (m_failure) std::rethrow_exception(std::exchange(m_failure, nullptr));
  }

 private:
  std::exception_ptr m_failure;
  std::thread m_thread;  // last: started once m_failure exists
};

}  // namespace comsweep::registry
