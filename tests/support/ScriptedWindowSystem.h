#pragma once
// A window system that plays the operator: it records every request the
// logic makes, answers message boxes, and runs a script inside the modal
// review window (strike entries, sort, press Remove or Cancel).

#include <functional>
#include <string>
#include <vector>

#include "forms/ReviewState.h"
#include "forms/WindowSystem.h"

namespace comsweep::test {

class ScriptedWindowSystem : public forms::WindowSystem {
 public:
  // What the operator does in the review window; by default, Remove.
  std::function<void(forms::ReviewState&)> review = [](forms::ReviewState& form) { form.removeClicked(); };
  std::vector<std::string> messages;
  std::vector<std::string> trace;  // the requests, in order

  void showMessage(const std::string& text, int, const std::string&) override {
    messages.push_back(text);
    trace.push_back("msgbox");
  }
  void mainSetMousePointer(int pointer) override { trace.push_back("main.pointer=" + std::to_string(pointer)); }
  void mainHide() override { trace.push_back("main.hide"); }
  void mainUnload() override { trace.push_back("main.unload"); }
  void tipShowModal() override { trace.push_back("tip.show"); }
  void progressShow(forms::ProgressState&) override { trace.push_back("progress.show"); }
  void progressRefresh(forms::ProgressState&) override {}
  void progressUnload() override { trace.push_back("progress.unload"); }
  // A modal window returns once it is unloaded or its modal show ended; the
  // close box unloads it without any action of the form.
  void reviewShowModal(forms::ReviewState& form) override {
    trace.push_back("review.show");
    m_reviewOpen = true;
    m_modalEnded = false;
    form.activated();
    review(form);
    if (m_reviewOpen && !m_modalEnded) reviewUnload(form);
  }
  void reviewEndModal(forms::ReviewState&) override {
    m_modalEnded = true;
    trace.push_back("review.return");
  }
  // Only the window's closing is traced, not a request to close it again.
  void reviewUnload(forms::ReviewState&) override {
    if (!m_reviewOpen) return;
    m_reviewOpen = false;
    trace.push_back("review.unload");
  }
  void endProgram() override { trace.push_back("end"); }

 private:
  bool m_reviewOpen = false;
  bool m_modalEnded = false;
};

}  // namespace comsweep::test
