#include "frontends/qt/QtWindowSystem.h"

#include <QMessageBox>

#include "frontends/qt/MainWindow.h"
#include "frontends/qt/ModalRunner.h"
#include "frontends/qt/ProgressWindow.h"
#include "frontends/qt/ReviewWindow.h"
#include "frontends/qt/TipWindow.h"
#include "frontends/qt/WindowFont.h"

namespace comsweep::qt {
namespace {

QMessageBox::Icon iconOf(int style) {
  switch (style & 0x70) {
    case 16: return QMessageBox::Critical;
    case 32: return QMessageBox::Question;
    case 48: return QMessageBox::Warning;
    case 64: return QMessageBox::Information;
    default: return QMessageBox::NoIcon;
  }
}

}  // namespace

QtWindowSystem::QtWindowSystem(ModalRunner& modal,
                               std::function<const registry::Machine*()> machine,
                               std::function<void()> quit)
    : m_modal(modal), m_machine(std::move(machine)), m_quit(std::move(quit)) {}

QtWindowSystem::~QtWindowSystem() = default;

QWidget* QtWindowSystem::messageOwner() const {
  if (m_review && m_review->isVisible()) return m_review.get();
  if (m_main && m_main->isVisible()) return m_main;
  if (m_progress && m_progress->isVisible()) return m_progress.get();
  return nullptr;
}

void QtWindowSystem::showMessage(const std::string& text, int style, const std::string& title) {
  showMessageBox(m_modal, messageOwner(), text, style, title);
}

void showMessageBox(ModalRunner& modal, QWidget* owner, const std::string& text, int style,
                    const std::string& title) {
  QMessageBox box(owner);
  box.setFont(windowFont());
  box.setWindowTitle(QString::fromStdString(title.empty() ? std::string(forms::kApplicationTitle) : title));
  // The logic breaks lines the Windows way.
  box.setText(QString::fromStdString(text).replace(QLatin1String("\r\n"), QLatin1String("\n")));
  box.setIcon(iconOf(style));
  box.setStandardButtons(QMessageBox::Ok);
  modal.run(box);
}

void QtWindowSystem::mainSetMousePointer(int pointer) {
  if (m_main) m_main->setMousePointer(pointer);
}

void QtWindowSystem::mainHide() {
  if (m_main) m_main->hide();
}

void QtWindowSystem::mainUnload() {
  if (m_main) m_main->unload();
}

void QtWindowSystem::tipShowModal() {
  TipWindow tip(m_main);
  m_modal.run(tip);
}

void QtWindowSystem::progressShow(forms::ProgressState& state) {
  m_progress = std::make_unique<ProgressWindow>();
  m_progress->showFor(state);
}

void QtWindowSystem::progressRefresh(forms::ProgressState& state) {
  if (m_progress) m_progress->refresh(state);
}

void QtWindowSystem::progressScansEnded(forms::ProgressState& state) {
  if (m_progress) m_progress->settle(state);
}

void QtWindowSystem::progressUnload() { m_progress.reset(); }

void QtWindowSystem::reviewShowModal(forms::ReviewState& state) {
  m_review = std::make_unique<ReviewWindow>(state, *m_machine());
  m_reviewRunning = true;
  m_modal.runUntilEnded(*m_review);
  m_reviewRunning = false;
  if (m_review->unloaded()) m_review.reset();
}

void QtWindowSystem::reviewEndModal(forms::ReviewState&) {
  if (m_reviewRunning) m_modal.endModal();
}

void QtWindowSystem::reviewUnload(forms::ReviewState&) {
  if (!m_review) return;
  m_review->unload();
  // Inside its modal show the window is still in the call chain of its own
  // button; it is destroyed once the show has returned.
  if (!m_reviewRunning) m_review.reset();
}

void QtWindowSystem::endProgram() {
  if (m_ended) return;
  m_ended = true;
  if (m_quit) m_quit();
}

}  // namespace comsweep::qt
