#include "forms/ProgressState.h"

#include <charconv>

namespace comsweep::forms {

void ProgressState::reset() {
  animationStep = 0;
  currentNode.clear();
  foundCount.clear();
  picture.clear();
  updates = 0;
}

void ProgressState::update(std::string_view label, std::string_view name, std::int32_t foundSoFar) {
  // Assigned in place: the scans update the window for every key they visit.
  // The count and the picture change far less often than the key: they
  // are spelled again only when they do.
  currentNode.assign(label).append(name);
  if (foundCount.empty() || foundSoFar != m_found) {
    char digits[16];
    auto [end, ec] = std::to_chars(digits, digits + sizeof digits, foundSoFar);
    foundCount.assign(digits, end);
    m_found = foundSoFar;
  }
  // The counter runs 0..93; frames 0-3 last 20 steps each, frame 4 fourteen.
  animationStep = static_cast<std::int16_t>(animationStep + 1);
  if (animationStep >= 94) animationStep = 0;
  // Whole numbers: for 0..93 the quotient truncates as the single-precision
  // one does (none falls within a rounding step of the next whole number),
  // without the division's latency on every key.
  const int frame = animationStep / 20;
  if (picture.size() != 4 || picture[3] != '0' + frame) {
    static const char* const kFrames[] = {"REG0", "REG1", "REG2", "REG3", "REG4"};
    picture.assign(kFrames[frame]);
  }
  ++updates;
}

}  // namespace comsweep::forms
