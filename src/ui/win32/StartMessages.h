#pragma once
// The message boxes of an interactive start that opens no window: the
// machine could not be opened. Every other request of the logic is ignored.

#include "ui/headless/HeadlessWindowSystem.h"

namespace comsweep::ui::win32 {

class StartMessages : public HeadlessWindowSystem {
 public:
  void showMessage(const std::string& text, int style, const std::string& title) override;
};

// The boxes of this start; null where there is no desktop to show them on.
WindowSystem* startMessages();

}  // namespace comsweep::ui::win32
