#pragma once
// A window system that plays the operator: it records every request the
// logic makes, answers message boxes, and runs a script inside the modal
// review window (strike entries, sort, press Remove or Cancel).

#include <functional>
#include <string>
#include <vector>

#include "ui/ProgressState.h"
#include "ui/ReviewState.h"
#include "ui/WindowSystem.h"

namespace comsweep::test {

struct ShownMessage {
  std::string text;
  int style;
  std::string title;
};

class ScriptedWindowSystem : public ui::WindowSystem {
 public:
  // What the operator does in the review window; by default, Remove.
  std::function<void(ui::ReviewState&)> review = [](ui::ReviewState& form) {
    form.removeClicked();
  };

  std::vector<ShownMessage> messages;
  std::vector<std::string> trace;        // the requests, in order
  std::vector<std::string> progressFrames;  // picture key after each refresh
  std::vector<std::string> progressNodes;   // node text after each refresh
  bool ended = false;

  void showMessage(const std::string& text, int style, const std::string& title) override;
  void mainSetMousePointer(int pointer) override;
  void mainHide() override { trace.push_back("main.hide"); }
  void mainUnload() override { trace.push_back("main.unload"); }
  void tipShowModal() override { trace.push_back("tip.show"); }
  void progressShow(ui::ProgressState&) override { trace.push_back("progress.show"); }
  void progressRefresh(ui::ProgressState& form) override;
  void progressUnload() override { trace.push_back("progress.unload"); }
  void reviewShowModal(ui::ReviewState& form) override;
  void reviewUnload(ui::ReviewState&) override { m_reviewOpen = false; trace.push_back("review.unload"); }
  void endProgram() override {
    ended = true;
    trace.push_back("end");
  }

 private:
  bool m_reviewOpen = false;
};

}  // namespace comsweep::test
