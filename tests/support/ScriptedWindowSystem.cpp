#include "support/ScriptedWindowSystem.h"

#include <stdexcept>

namespace comsweep::test {

void ScriptedWindowSystem::showMessage(const std::string& text, int style, const std::string& title) {
  messages.push_back({text, style, title});
  trace.push_back("msgbox");
}

void ScriptedWindowSystem::mainSetMousePointer(int pointer) {
  trace.push_back("main.pointer=" + std::to_string(pointer));
}

void ScriptedWindowSystem::progressRefresh(ui::ProgressState& form) {
  progressFrames.push_back(form.picture);
  progressNodes.push_back(form.currentNode);
}

void ScriptedWindowSystem::reviewShowModal(ui::ReviewState& form) {
  trace.push_back("review.show");
  m_reviewOpen = true;
  form.activated();
  review(form);
  // A modal window returns only once it is unloaded; the close box does that
  // without any action of the form.
  if (m_reviewOpen) reviewUnload(form);
}

}  // namespace comsweep::test
