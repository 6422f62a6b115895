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
  currentNode.assign(label).append(name);
  char digits[16];
  auto [end, ec] = std::to_chars(digits, digits + sizeof digits, foundSoFar);
  foundCount.assign(digits, end);
  // The counter runs 0..93; frames 0-3 last 20 steps each, frame 4 fourteen.
  animationStep = static_cast<std::int16_t>(animationStep + 1);
  if (animationStep >= 94) animationStep = 0;
  int frame = static_cast<int>(static_cast<float>(animationStep) / 20.0f);
  static const char* const kFrames[] = {"REG0", "REG1", "REG2", "REG3", "REG4"};
  picture.assign(kFrames[frame]);
  ++updates;
}

}  // namespace comsweep::forms
