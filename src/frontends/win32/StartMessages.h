#pragma once
// The message boxes of an interactive start that opens no window: the
// machine could not be opened. Every other request of the logic is ignored.

#include "forms/HeadlessWindowSystem.h"

namespace comsweep::win32 {

class StartMessages : public forms::HeadlessWindowSystem {
 public:
  void showMessage(const std::string& text, int style, const std::string& title) override;
};

// The boxes of this start; null where there is no desktop to show them on.
forms::WindowSystem* startMessages();

}  // namespace comsweep::win32
