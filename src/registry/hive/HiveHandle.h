#pragma once
// Owns an open libhivex handle. Closing never commits: changes reach the
// disk only through an explicit hivex_commit.

#include <hivex.h>

#include <utility>

namespace comsweep::registry {

class HiveHandle {
 public:
  HiveHandle() = default;
  explicit HiveHandle(hive_h* handle) : m_handle(handle) {}
  HiveHandle(HiveHandle&& other) noexcept : m_handle(std::exchange(other.m_handle, nullptr)) {}
  HiveHandle& operator=(HiveHandle&& other) noexcept {
    if (this != &other) {
      close();
      m_handle = std::exchange(other.m_handle, nullptr);
    }
    return *this;
  }
  HiveHandle(const HiveHandle&) = delete;
  HiveHandle& operator=(const HiveHandle&) = delete;
  ~HiveHandle() { close(); }

  hive_h* get() const { return m_handle; }
  explicit operator bool() const { return m_handle != nullptr; }

 private:
  void close() {
    if (m_handle) hivex_close(m_handle);
    m_handle = nullptr;
  }

  hive_h* m_handle = nullptr;
};

}  // namespace comsweep::registry
