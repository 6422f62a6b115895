#include "registry/store/SecondCore.h"

#include <atomic>
#include <cstdlib>

namespace comsweep::registry {
namespace {

// COMSWEEP_SPLIT_BYTES=N splits from N bytes on, to compare both ways on
// small files.
std::size_t initialThreshold() {
  const char* value = std::getenv("COMSWEEP_SPLIT_BYTES");
  return value && *value ? std::strtoull(value, nullptr, 10) : std::size_t{4} << 20;
}

std::atomic<std::size_t> g_threshold{initialThreshold()};

bool oneCoreAsked() {
  const char* value = std::getenv("COMSWEEP_ONE_CORE");
  return value && *value && *value != '0';
}

}  // namespace

bool splitWork(std::size_t bytes) {
  static const bool cores = std::thread::hardware_concurrency() > 1 && !oneCoreAsked();
  return cores && bytes >= g_threshold.load(std::memory_order_relaxed);
}

void setSplitThreshold(std::size_t bytes) { g_threshold.store(bytes, std::memory_order_relaxed); }

std::size_t splitThreshold() { return g_threshold.load(std::memory_order_relaxed); }

}  // namespace comsweep::registry
