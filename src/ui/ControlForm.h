#pragma once
// The progress window's state: the current key, the found count and the
// animation frame, which steps through five pictures as the scans advance.

#include <cstdint>
#include <string>
#include <string_view>

namespace comsweep::ui {

class ControlForm {
 public:
  void Form_Load();
  void Update(const std::string& strNode, std::int32_t lDeleted) { Update({}, strNode, lDeleted); }
  // The same with the node given as a label and a name, joined here.
  void Update(std::string_view label, std::string_view name, std::int32_t lDeleted);

  std::string lblCurrentNode;
  std::string lblDeleted;
  std::string imgRegistry;  // key of the picture shown: "REG0" ... "REG4"; empty before the first update
  std::int16_t iAnimCounter = 0;
  std::uint64_t updates = 0;  // how many updates were made, for the window's repaint throttle
};

}  // namespace comsweep::ui
