#pragma once
// The window system of an interactive run: the logic's requests become the
// four Qt windows and message boxes. Every modal show goes through the
// ModalRunner, so tests can answer the dialogs.

#include <functional>
#include <memory>

#include "forms/WindowSystem.h"

class QWidget;

namespace comsweep::registry {
struct Machine;
}

namespace comsweep::qt {

class MainWindow;
class ModalRunner;
class ProgressWindow;
class ReviewWindow;

// A message box as the logic asks for one, run through `modal`; `owner`
// may be null.
void showMessageBox(ModalRunner& modal, QWidget* owner, const std::string& text, int style,
                    const std::string& title);

class QtWindowSystem : public forms::WindowSystem {
 public:
  // `machine` names the machine a run works on (the review window shows
  // it); `quit` leaves the event loop when the program ends; it is called at
  // most once.
  QtWindowSystem(ModalRunner& modal, std::function<const registry::Machine*()> machine,
                 std::function<void()> quit = {});
  ~QtWindowSystem() override;

  void setMainWindow(MainWindow* main) { m_main = main; }
  bool ended() const { return m_ended; }

  void showMessage(const std::string& text, int style, const std::string& title) override;
  void mainSetMousePointer(int pointer) override;
  void mainHide() override;
  void mainUnload() override;
  void tipShowModal() override;
  void progressShow(forms::ProgressState& state) override;
  void progressRefresh(forms::ProgressState& state) override;
  void progressScansEnded(forms::ProgressState& state) override;
  void progressUnload() override;
  void reviewShowModal(forms::ReviewState& state) override;
  void reviewEndModal(forms::ReviewState& state) override;
  void reviewUnload(forms::ReviewState& state) override;
  void endProgram() override;

 private:
  // The window a message box belongs to: the topmost one still shown.
  QWidget* messageOwner() const;

  ModalRunner& m_modal;
  std::function<const registry::Machine*()> m_machine;
  std::function<void()> m_quit;
  MainWindow* m_main = nullptr;
  std::unique_ptr<ProgressWindow> m_progress;
  std::unique_ptr<ReviewWindow> m_review;  // from its show until it is unloaded
  bool m_reviewRunning = false;            // its modal show has not returned
  bool m_ended = false;
};

}  // namespace comsweep::qt
