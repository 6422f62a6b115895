#include "frontends/qt/InteractiveSession.h"

#include "app/MachineChooser.h"
#include "frontends/qt/MainWindow.h"

namespace comsweep::qt {

InteractiveSession::InteractiveSession(app::MachineChooser& chooser, ModalRunner& modal,
                                       std::function<void()> quit)
    : m_windows(modal, [&chooser] { return chooser.machine(); }, std::move(quit)),
      m_form(chooser, m_windows),
      m_main(std::make_unique<MainWindow>(m_form, chooser, modal)) {
  m_windows.setMainWindow(m_main.get());
}

InteractiveSession::~InteractiveSession() { m_windows.setMainWindow(nullptr); }

void InteractiveSession::show() {
  m_form.windowOpened();
  m_main->show();
}

}  // namespace comsweep::qt
