#include "registry/store/SecondCore.h"

#include <atomic>
#include <cstdint>
#include <cstdlib>

namespace comsweep::registry {
namespace {

// COMSWEEP_SPLIT_BYTES=N splits work on N bytes or more; without it a run
// stays on one core.
std::size_t askedThreshold() {
  const char* value = std::getenv("COMSWEEP_SPLIT_BYTES");
  return value && *value ? std::strtoull(value, nullptr, 10) : SIZE_MAX;
}

std::atomic<std::size_t> g_threshold{askedThreshold()};

}  // namespace

bool splitWork(std::size_t bytes) {
  static const bool cores = std::thread::hardware_concurrency() > 1;
  return cores && bytes >= g_threshold.load(std::memory_order_relaxed);
}

void setSplitThreshold(std::size_t bytes) { g_threshold.store(bytes, std::memory_order_relaxed); }

void resetSplitThreshold() { g_threshold.store(askedThreshold(), std::memory_order_relaxed); }

}  // namespace comsweep::registry
