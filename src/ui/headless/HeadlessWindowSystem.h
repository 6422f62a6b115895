#pragma once
// The window system of an unattended run: there are no windows. The logic
// never asks it for a message box or a window in that mode; should it, the
// request is ignored.

#include <string>

#include "ui/WindowSystem.h"

namespace comsweep::ui {

class HeadlessWindowSystem : public WindowSystem {
 public:
  void showMessage(const std::string&, int, const std::string&) override {}
  void mainSetMousePointer(int) override {}
  void mainHide() override {}
  void mainUnload() override {}
  void tipShowModal() override {}
  void progressShow(ProgressState&) override {}
  void progressRefresh(ProgressState&) override {}
  void progressUnload() override {}
  void reviewShowModal(ReviewState&) override {}
  void reviewUnload(ReviewState&) override {}
  void endProgram() override {}
};

}  // namespace comsweep::ui
