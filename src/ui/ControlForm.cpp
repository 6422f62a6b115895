#include "ui/ControlForm.h"

namespace comsweep::ui {

void ControlForm::Form_Load() {
  iAnimCounter = 0;
  lblCurrentNode.clear();
  lblDeleted.clear();
  imgRegistry.clear();
  updates = 0;
}

void ControlForm::Update(const std::string& strNode, std::int32_t lDeleted) {
  lblCurrentNode = strNode;
  lblDeleted = std::to_string(lDeleted);
  // The counter runs 0..93; frames 0-3 last 20 steps each, frame 4 fourteen.
  iAnimCounter = static_cast<std::int16_t>(iAnimCounter + 1);
  if (iAnimCounter >= 94) iAnimCounter = 0;
  int frame = static_cast<int>(static_cast<float>(iAnimCounter) / 20.0f);
  imgRegistry = "REG" + std::to_string(frame);
  ++updates;
}

}  // namespace comsweep::ui
