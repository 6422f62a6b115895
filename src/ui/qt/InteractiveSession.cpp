#include "ui/qt/InteractiveSession.h"

#include "app/Program.h"
#include "app/MachineChooser.h"
#include "ui/qt/MainWindow.h"

namespace comsweep::ui {

InteractiveSession::InteractiveSession(app::MachineChooser& chooser, ModalRunner& modal,
                                       std::function<void()> quit)
    : m_windows(modal, [&chooser] { return chooser.machine(); }, std::move(quit)),
      m_form(chooser.api(), m_windows, {}),
      m_main(std::make_unique<MainWindow>(m_form, chooser, modal)) {
  m_windows.setMainWindow(m_main.get());
  m_form.setMachineChooser(&chooser);
}

InteractiveSession::~InteractiveSession() { m_windows.setMainWindow(nullptr); }

void InteractiveSession::show() {
  m_form.load("");
  if (!ended()) m_main->show();
}

int InteractiveSession::exitStatus() const { return app::exitStatusOf(m_form.outcome()); }

}  // namespace comsweep::ui
