#include "ui/ControlForm.h"

#include <charconv>

namespace comsweep::ui {

void ControlForm::Form_Load() {
  iAnimCounter = 0;
  lblCurrentNode.clear();
  lblDeleted.clear();
  imgRegistry.clear();
  updates = 0;
}

void ControlForm::Update(std::string_view label, std::string_view name, std::int32_t lDeleted) {
  // Assigned in place: the scans update the window for every key they visit.
  lblCurrentNode.assign(label).append(name);
  char digits[16];
  auto [end, ec] = std::to_chars(digits, digits + sizeof digits, lDeleted);
  lblDeleted.assign(digits, end);
  // The counter runs 0..93; frames 0-3 last 20 steps each, frame 4 fourteen.
  iAnimCounter = static_cast<std::int16_t>(iAnimCounter + 1);
  if (iAnimCounter >= 94) iAnimCounter = 0;
  int frame = static_cast<int>(static_cast<float>(iAnimCounter) / 20.0f);
  static const char* const kFrames[] = {"REG0", "REG1", "REG2", "REG3", "REG4"};
  imgRegistry.assign(kFrames[frame]);
  ++updates;
}

}  // namespace comsweep::ui
