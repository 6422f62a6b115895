#pragma once
// Finding the next special byte of a line eight bytes at a time, without
// platform intrinsics: the key lines of text registry files are read in one
// pass that stops only where something happens (a level ends, the name
// ends, a byte needs decoding).

#include <bit>
#include <cstdint>
#include <cstring>
#include <string_view>

namespace comsweep::registry {

// The first index at or after `from` whose byte is NUL, `a`, `b` or, with
// `high`, above 127; text.size() when there is none.
inline std::size_t findStop(std::string_view text, std::size_t from, char a, char b, bool high) {
  constexpr std::uint64_t kOnes = 0x0101010101010101ull;
  constexpr std::uint64_t kHighs = 0x8080808080808080ull;
  // The high bit of every byte that is zero, exact up to the first such
  // byte (a borrow may mark bytes after it), which is all that is used.
  auto zeros = [](std::uint64_t v) { return (v - kOnes) & ~v & kHighs; };
  const std::uint64_t spreadA = kOnes * static_cast<unsigned char>(a);
  const std::uint64_t spreadB = kOnes * static_cast<unsigned char>(b);
  const std::uint64_t highMask = high ? kHighs : 0;
  std::size_t i = from;
  // The lowest marked byte is the first in memory only on little-endian machines.
  if constexpr (std::endian::native == std::endian::little) {
    for (; i + 8 <= text.size(); i += 8) {
      std::uint64_t v;
      std::memcpy(&v, text.data() + i, 8);
      std::uint64_t hits = zeros(v) | zeros(v ^ spreadA) | zeros(v ^ spreadB) | (v & highMask);
      if (hits != 0) return i + static_cast<std::size_t>(std::countr_zero(hits)) / 8;
    }
  }
  for (; i < text.size(); ++i) {
    char c = text[i];
    if (c == '\0' || c == a || c == b || (high && static_cast<unsigned char>(c) >= 0x80)) return i;
  }
  return text.size();
}

}  // namespace comsweep::registry
