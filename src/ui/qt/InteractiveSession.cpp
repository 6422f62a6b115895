#include "ui/qt/InteractiveSession.h"

#include "app/Program.h"
#include "registry/Machine.h"
#include "removal/UndoFile.h"
#include "ui/qt/MainWindow.h"

namespace comsweep::ui {

InteractiveSession::InteractiveSession(registry::Machine& machine, ModalRunner& modal,
                                       std::function<void()> quit,
                                       std::function<std::string()> runGate)
    : m_api(*machine.store),
      m_windows(modal, machine, std::move(quit)),
      m_form(m_api, m_windows, app::logPathOf(machine)),
      m_main(std::make_unique<MainWindow>(m_form, machine)) {
  m_windows.setMainWindow(m_main.get());
  m_form.setBackup(removal::undoFileBackup(machine));
  m_form.setUserClasses(app::userClassesOf(machine));
  m_form.setRunGate(std::move(runGate));
}

InteractiveSession::~InteractiveSession() { m_windows.setMainWindow(nullptr); }

void InteractiveSession::show() {
  m_form.load("");
  if (!ended()) m_main->show();
}

int InteractiveSession::exitStatus() const { return app::exitStatusOf(m_form.outcome()); }

}  // namespace comsweep::ui
