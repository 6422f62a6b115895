#pragma once
// Large, long-lived blocks of memory taken straight from the system (a file
// read whole, the slabs of a key tree): whole pages, aligned to 2 MiB and,
// where the system makes huge pages on request (transparent huge pages in
// "madvise" mode), backed by them: one page fault and one page-table entry
// per 2 MiB instead of per 4 KiB. Memory is not cleared beyond what the
// system does. LargeMemory.cpp maps anonymous memory, LargeMemoryWin32.cpp
// uses the heap.

#include <cstddef>
#include <utility>

namespace comsweep::platform {

class LargeBlock {
 public:
  LargeBlock() = default;
  // Throws std::bad_alloc when the system has no memory to give.
  explicit LargeBlock(std::size_t bytes);
  LargeBlock(LargeBlock&& other) noexcept
      : m_data(std::exchange(other.m_data, nullptr)), m_size(std::exchange(other.m_size, 0)) {}
  LargeBlock& operator=(LargeBlock&& other) noexcept {
    if (this != &other) {
      release();
      m_data = std::exchange(other.m_data, nullptr);
      m_size = std::exchange(other.m_size, 0);
    }
    return *this;
  }
  LargeBlock(const LargeBlock&) = delete;
  LargeBlock& operator=(const LargeBlock&) = delete;
  ~LargeBlock() { release(); }

  // Huge pages come in this size: a block at least this large is backed by
  // them. Give back only whole ones (madvise on a part splits the page, and
  // with another thread reading the rest of it that has been seen to lose
  // the rest's bytes).
  static constexpr std::size_t kHugePage = std::size_t{2} << 20;

  char* data() const { return m_data; }
  std::size_t size() const { return m_size; }

  // Shows the first `bytes` of the open file `fd` at the start of the block
  // (at most its size), as a private copy: changes stay in memory, and the
  // pages come from the system's cache of the file, mapped in one go,
  // instead of fresh pages the system must clear before a read fills them.
  // The rest of the block stays as it was. False where this cannot be done
  // (then the file is to be read).
  bool showFile(int fd, std::size_t bytes);

 private:
  void release();

  char* m_data = nullptr;
  std::size_t m_size = 0;  // as asked for
};

// Gives the heap's free memory back to the system, in the heaps of every
// thread: what a thread that has ended allocated stays with its heap,
// counted as the program's, until then.
void returnFreedMemory();

}  // namespace comsweep::platform
