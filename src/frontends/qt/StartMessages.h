#pragma once
// The message boxes of an interactive start that opens no window: the
// machine could not be opened. Makes the application object when there is
// none yet; every other request of the logic is ignored.

#include <QApplication>
#include <memory>

#include "forms/HeadlessWindowSystem.h"
#include "frontends/qt/ModalRunner.h"

namespace comsweep::qt {

class StartMessages : public forms::HeadlessWindowSystem {
 public:
  // `argc` must outlive the object, as QApplication asks; `modal` answers
  // the boxes (null: the boxes wait for the operator).
  StartMessages(int& argc, char** argv, ModalRunner* modal = nullptr);
  ~StartMessages() override;

  void showMessage(const std::string& text, int style, const std::string& title) override;

 private:
  std::unique_ptr<QApplication> m_app;  // null when one existed before
  ModalRunner m_ownModal;
  ModalRunner& m_modal;
};

// The boxes of this start, made in `holder` on first use; null when there
// is no display to show them on (what is missing then goes to standard
// error). The holder is let go before the program's statics are: the
// application object must not outlive Qt's own.
forms::WindowSystem* startMessages(int& argc, char** argv, std::unique_ptr<StartMessages>& holder);

}  // namespace comsweep::qt
