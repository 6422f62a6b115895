#include "ui/qt/InteractiveSession.h"

#include "registry/Machine.h"
#include "ui/qt/MainWindow.h"

namespace comsweep::ui {

InteractiveSession::InteractiveSession(registry::Machine& machine, ModalRunner& modal,
                                       std::function<void()> quit,
                                       std::function<std::string()> runGate)
    : m_run(machine),
      m_windows(modal, machine, std::move(quit)),
      m_form(m_run, m_windows),
      m_main(std::make_unique<MainWindow>(m_form, machine)) {
  m_windows.setMainWindow(m_main.get());
  m_form.setRunGate(std::move(runGate));
}

InteractiveSession::~InteractiveSession() { m_windows.setMainWindow(nullptr); }

void InteractiveSession::show() { m_main->show(); }

}  // namespace comsweep::ui
