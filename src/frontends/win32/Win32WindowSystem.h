#pragma once
// The window system of an interactive run on Windows: the logic's requests
// become the four Win32 windows and MessageBoxW. Modal windows run a message
// loop of their own until they are unloaded.
//
// A test answers the windows through an operator: it is called with each
// modal window and message box once that is shown, and drives it with
// window messages (it may also send them synchronously: the modal loop ends
// as soon as the window is unloaded).

#include <windows.h>

#include <functional>
#include <memory>

#include "forms/WindowSystem.h"

namespace comsweep::registry {
struct Machine;
}

namespace comsweep::win32 {

class MainWindow;
class ProgressWindow;
class ReviewWindow;

using Operator = std::function<void(HWND shown)>;

class Win32WindowSystem : public forms::WindowSystem {
 public:
  // `machine` names the machine a run works on (the review window shows
  // it); `quit` ends the program's message loop; called at most once.
  Win32WindowSystem(std::function<const registry::Machine*()> machine,
                    std::function<void()> quit = {});
  ~Win32WindowSystem() override;

  void setMainWindow(MainWindow* main) { m_main = main; }
  void setOperator(Operator op) { m_operator = std::move(op); }
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
  HWND messageOwner() const;
  // Shows `window` modal over `owner` and returns once `done` is set; hides
  // it then if `closed` is set too.
  void runModal(HWND window, HWND owner, const bool& done, const bool& closed, bool swallowEnter);

  std::function<const registry::Machine*()> m_machine;
  std::function<void()> m_quit;
  Operator m_operator;
  MainWindow* m_main = nullptr;
  std::unique_ptr<ProgressWindow> m_progress;
  std::unique_ptr<ReviewWindow> m_review;  // from its show until it is unloaded
  bool m_reviewRunning = false;            // its modal show has not returned
  bool m_ended = false;
};

}  // namespace comsweep::win32
