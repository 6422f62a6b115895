#pragma once
// Loading a large file on two cores: the part of the work that can go on
// beside the caller's runs on a thread of its own. A load that splits its
// work gives the same result as one that does not.

#include <cstddef>
#include <exception>
#include <thread>
#include <utility>

namespace comsweep::registry {

// Whether work on `bytes` of input goes on two threads: the machine has
// more than one core and COMSWEEP_SPLIT_BYTES in the environment names a
// threshold the input reaches. By default nothing splits. Measured here at a
// million keys, loads on two cores spread widely with the kernel's work on
// page faults from both threads: a Wine text file's blocks took 0.15 to
// 0.33 s against a steady 0.22 s on one core, a .reg export's 0.17 to
// 0.33 s against 0.27 s, the hive's key walk 0.19 s against 0.16 s; a whole
// .reg run took 0.65 to 0.96 s against 0.72 s, and half as much memory
// again, since the parts give memory back only once both are read.
bool splitWork(std::size_t bytes);
// The tests lower the threshold to compare both paths on small inputs, or
// raise it to force one core; reset goes back to the environment's.
void setSplitThreshold(std::size_t bytes);
void resetSplitThreshold();

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
