#pragma once
// The progress window's state: the current key, the found count and the
// animation frame, which steps through five pictures as the scans advance.

#include <cstdint>
#include <string>
#include <string_view>

namespace comsweep::forms {

class ProgressState {
 public:
  // Back to the state before the first update.
  void reset();
  void update(const std::string& node, std::int32_t foundSoFar) { update({}, node, foundSoFar); }
  // The same with the node given as a label and a name, joined here.
  void update(std::string_view label, std::string_view name, std::int32_t foundSoFar);

  std::string currentNode;
  std::string foundCount;
  std::string picture;  // key of the picture shown: "REG0" ... "REG4"; empty before the first update
  std::int16_t animationStep = 0;
  std::uint64_t updates = 0;  // how many updates were made, for the window's repaint throttle

 private:
  std::int32_t m_found = 0;  // the number foundCount spells
};

}  // namespace comsweep::forms
