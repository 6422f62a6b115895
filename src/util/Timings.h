#pragma once
// Marks that split a run into its phases (load, the four scans, removal,
// save, log), for the benchmark. Recording is cheap and off unless asked for.

#include <chrono>
#include <string>
#include <vector>

namespace comsweep::util {

class Timings {
 public:
  using Clock = std::chrono::steady_clock;

  Timings() : m_start(Clock::now()), m_last(m_start) {}
  // Ends the phase called `name` now.
  void mark(const char* name) {
    Clock::time_point now = Clock::now();
    m_phases.push_back({name, std::chrono::duration<double>(now - m_last).count()});
    m_last = now;
  }
  struct Phase {
    std::string name;
    double seconds;
  };
  const std::vector<Phase>& phases() const { return m_phases; }
  double total() const { return std::chrono::duration<double>(m_last - m_start).count(); }

 private:
  Clock::time_point m_start;
  Clock::time_point m_last;
  std::vector<Phase> m_phases;
};

// Marks a phase when a Timings object is present.
inline void mark(Timings* timings, const char* name) {
  if (timings) timings->mark(name);
}

}  // namespace comsweep::util
