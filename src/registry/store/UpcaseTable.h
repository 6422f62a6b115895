#pragma once
// The registry's own upper-case mapping of UTF-16 units, which key names are
// compared by. It maps one unit to one unit and differs from the Unicode
// case mappings: dotless i, micro sign, long s, final sigma, the title-case
// digraphs and others stay as they are, so keys named with them are not the
// same as keys named with the capital letters.

#include <array>
#include <cstdint>

namespace comsweep::registry {

namespace upcase_detail {
// Two levels: the delta (modulo 2^16) to add to a unit is
// kDelta[kBlock[unit >> 8]][unit & 0xFF]; block 0 is all zeros.
using Block = std::array<std::uint16_t, 256>;
extern const std::array<std::uint8_t, 256> kBlock;
extern const Block* const kDelta;
}  // namespace upcase_detail

// The upper case of one UTF-16 unit. Surrogates map to themselves, so
// characters outside the Basic Multilingual Plane never change.
inline char16_t upcaseUnit(char16_t unit) {
  using namespace upcase_detail;
  return static_cast<char16_t>(unit + kDelta[kBlock[unit >> 8]][unit & 0xFF]);
}

}  // namespace comsweep::registry
