#include "ui/headless/HeadlessWindowSystem.h"

namespace comsweep::ui {

void HeadlessWindowSystem::MsgBox(const std::string& text, int, const std::string&) {
  m_messages.push_back(text);
}

}  // namespace comsweep::ui
