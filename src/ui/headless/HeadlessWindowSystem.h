#pragma once
// The window system of an unattended run: there are no windows. The logic
// never asks it for a message box or a window in that mode; should it, the
// request is recorded instead of shown.

#include <string>
#include <vector>

#include "ui/WindowSystem.h"

namespace comsweep::ui {

class HeadlessWindowSystem : public WindowSystem {
 public:
  void MsgBox(const std::string& text, int style, const std::string& title) override;
  void mainSetMousePointer(int) override {}
  void mainHide() override {}
  void mainUnload() override {}
  void tipShowModal() override {}
  void progressShow(ControlForm&) override {}
  void progressRefresh(ControlForm&) override {}
  void progressUnload() override {}
  void reviewShowModal(KeysToDeleteForm&) override {}
  void reviewUnload(KeysToDeleteForm&) override {}
  void endProgram() override { m_ended = true; }

  bool ended() const { return m_ended; }
  const std::vector<std::string>& suppressedMessages() const { return m_messages; }

 private:
  bool m_ended = false;
  std::vector<std::string> m_messages;
};

}  // namespace comsweep::ui
