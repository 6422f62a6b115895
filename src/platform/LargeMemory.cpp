#include "platform/LargeMemory.h"

#include <malloc.h>
#include <sys/mman.h>

#include <cstdint>
#include <new>

namespace comsweep::platform {
namespace {

constexpr std::size_t kHugePage = LargeBlock::kHugePage;

std::size_t mappedSize(std::size_t bytes) { return (bytes + kHugePage - 1) / kHugePage * kHugePage; }

}  // namespace

LargeBlock::LargeBlock(std::size_t bytes) {
  if (bytes == 0) return;
  // Mapped 2 MiB longer, and the unaligned ends given back: what stays
  // starts on a huge page's boundary.
  const std::size_t length = mappedSize(bytes);
  void* at = ::mmap(nullptr, length + kHugePage, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
  if (at == MAP_FAILED) throw std::bad_alloc();
  const auto start = reinterpret_cast<std::uintptr_t>(at);
  const std::uintptr_t aligned = (start + kHugePage - 1) / kHugePage * kHugePage;
  if (aligned > start) ::munmap(at, aligned - start);
  if (const std::uintptr_t end = start + length + kHugePage; end > aligned + length)
    ::munmap(reinterpret_cast<void*>(aligned + length), end - aligned - length);
  // Only advice: without huge pages the block is plain pages. A block
  // smaller than a huge page stays plain pages, given back page by page.
#ifdef MADV_HUGEPAGE
  if (bytes >= kHugePage) ::madvise(reinterpret_cast<void*>(aligned), length, MADV_HUGEPAGE);
#endif
  m_data = reinterpret_cast<char*>(aligned);
  m_size = bytes;
}

bool LargeBlock::showFile(int fd, std::size_t bytes) {
  if (bytes == 0 || bytes > m_size) return false;
  // Populated read-only first: populating a private mapping writable would
  // copy every page.
  void* at = ::mmap(m_data, bytes, PROT_READ, MAP_PRIVATE | MAP_FIXED | MAP_POPULATE, fd, 0);
  if (at == MAP_FAILED) return false;
  if (::mprotect(m_data, bytes, PROT_READ | PROT_WRITE) != 0) {
    // The block's own memory again, as it was before: untouched.
    ::mmap(m_data, bytes, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS | MAP_FIXED, -1, 0);
    return false;
  }
  return true;
}

void LargeBlock::release() {
  if (m_data) ::munmap(m_data, mappedSize(m_size));
  m_data = nullptr;
  m_size = 0;
}

void returnFreedMemory() { ::malloc_trim(0); }

}  // namespace comsweep::platform
