#include "platform/LargeMemory.h"

#include <new>

namespace comsweep::platform {

// Large pages need a privilege a user seldom has: the heap's pages serve.
LargeBlock::LargeBlock(std::size_t bytes) {
  if (bytes == 0) return;
  m_data = static_cast<char*>(::operator new(bytes));
  m_size = bytes;
}

void LargeBlock::release() {
  ::operator delete(m_data);
  m_data = nullptr;
  m_size = 0;
}

bool LargeBlock::showFile(int, std::size_t) { return false; }

// The heap keeps what it was given back for the next allocations.
void returnFreedMemory() {}

}  // namespace comsweep::platform
