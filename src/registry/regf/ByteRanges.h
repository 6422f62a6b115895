#pragma once
// The byte ranges of a file changed in memory, noted as they are written;
// a save writes them and has the system copy the rest from the original.

#include <algorithm>
#include <cstddef>
#include <utility>
#include <vector>

namespace comsweep::registry::regf {

using ByteRanges = std::vector<std::pair<std::size_t, std::size_t>>;  // offset, length

class ChangedRanges {
 public:
  void add(std::size_t offset, std::size_t length) { m_ranges.emplace_back(offset, length); }
  // In order, widened to whole units of `unit` bytes (at most to `size`)
  // and joined where they overlap or touch.
  ByteRanges joined(std::size_t unit = 1, std::size_t size = static_cast<std::size_t>(-1)) const {
    ByteRanges units;
    units.reserve(m_ranges.size());
    for (const auto& [offset, length] : m_ranges)
      if (length > 0) units.emplace_back(offset / unit * unit, std::min(size, (offset + length + unit - 1) / unit * unit));
    std::sort(units.begin(), units.end());
    ByteRanges out;
    for (const auto& [from, to] : units) {
      if (!out.empty() && from <= out.back().first + out.back().second)
        out.back().second = std::max(out.back().second, to - out.back().first);
      else
        out.emplace_back(from, to - from);
    }
    return out;
  }

 private:
  ByteRanges m_ranges;
};

}  // namespace comsweep::registry::regf
