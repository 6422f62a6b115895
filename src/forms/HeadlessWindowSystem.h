#pragma once
// A window system with no windows: every request is ignored. The base of
// the start-up message boxes, which answer only showMessage.

#include <string>

#include "forms/WindowSystem.h"

namespace comsweep::forms {

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
  void reviewEndModal(ReviewState&) override {}
  void reviewUnload(ReviewState&) override {}
  void endProgram() override {}
};

}  // namespace comsweep::forms
