#include "frontends/qt/StartMessages.h"

#include <cstdlib>

#include "frontends/qt/Pictures.h"
#include "frontends/qt/QtProgram.h"
#include "frontends/qt/QtWindowSystem.h"

namespace comsweep::qt {

StartMessages::StartMessages(int& argc, char** argv, ModalRunner* modal)
    : m_modal(modal ? *modal : m_ownModal) {
  if (QCoreApplication::instance()) return;
  m_app = std::make_unique<QApplication>(argc, argv);
  QApplication::setApplicationName(QStringLiteral("comsweep"));
  QApplication::setWindowIcon(Pictures::animationFrame(QStringLiteral("REG0")));
}

StartMessages::~StartMessages() = default;

void StartMessages::showMessage(const std::string& text, int style, const std::string& title) {
  showMessageBox(m_modal, nullptr, text, style, title);
}

forms::WindowSystem* startMessages(int& argc, char** argv, std::unique_ptr<StartMessages>& holder) {
  if (!missingDisplayMessage(std::getenv("DISPLAY"), std::getenv("WAYLAND_DISPLAY"),
                             std::getenv("QT_QPA_PLATFORM"))
           .empty())
    return nullptr;
  if (!holder) holder = std::make_unique<StartMessages>(argc, argv);
  return holder.get();
}

}  // namespace comsweep::qt
