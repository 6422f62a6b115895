#pragma once
// splitmix64: a small generator whose output is fixed by its definition, so a
// machine generated from a seed is the same with every compiler and library.

#include <cstdint>

namespace comsweep::bench {

class Rng {
 public:
  explicit Rng(std::uint64_t state) : m_state(state) {}

  // An independent stream for component `index` of kind `kind`: any
  // component's traits can be drawn again, in any order, without drawing the
  // components before it.
  static Rng forComponent(std::uint64_t seed, std::uint32_t kind, std::uint64_t index) {
    Rng mixer(seed ^ (std::uint64_t{kind} << 56));
    return Rng(mixer.next() ^ (index * 0xD1342543DE82EF95ull));
  }

  std::uint64_t next() {
    std::uint64_t z = (m_state += 0x9E3779B97F4A7C15ull);
    z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
    z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
    return z ^ (z >> 31);
  }

  // Uniform in [0, n) for n > 0 (multiply-shift; the bias is below 2^-32).
  std::uint32_t below(std::uint32_t n) {
    return static_cast<std::uint32_t>(((next() >> 32) * n) >> 32);
  }

  // True with probability percent / 100.
  bool percent(std::uint32_t percent) { return below(100) < percent; }

 private:
  std::uint64_t m_state;
};

}  // namespace comsweep::bench
