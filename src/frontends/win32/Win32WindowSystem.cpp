#include "frontends/win32/Win32WindowSystem.h"

#include "platform/WideText.h"
#include "frontends/win32/MainWindow.h"
#include "frontends/win32/ProgressWindow.h"
#include "frontends/win32/ReviewWindow.h"
#include "frontends/win32/TipWindow.h"

namespace comsweep::win32 {
namespace {

// The operator of the message box about to be shown: MessageBoxW runs its
// own loop, so the box is found as it is activated.
thread_local const Operator* t_boxOperator = nullptr;
thread_local HHOOK t_boxHook = nullptr;

LRESULT CALLBACK boxActivated(int code, WPARAM wParam, LPARAM lParam) {
  HHOOK hook = t_boxHook;
  if (code == HCBT_ACTIVATE && t_boxOperator) {
    const Operator* op = t_boxOperator;
    t_boxOperator = nullptr;
    (*op)(reinterpret_cast<HWND>(wParam));
  }
  return CallNextHookEx(hook, code, wParam, lParam);
}

}  // namespace

Win32WindowSystem::Win32WindowSystem(std::function<const registry::Machine*()> machine,
                                     std::function<void()> quit)
    : m_machine(std::move(machine)), m_quit(std::move(quit)) {}

Win32WindowSystem::~Win32WindowSystem() = default;

HWND Win32WindowSystem::messageOwner() const {
  if (m_review && IsWindowVisible(m_review->handle())) return m_review->handle();
  if (m_main && IsWindowVisible(m_main->handle())) return m_main->handle();
  if (m_progress && IsWindowVisible(m_progress->handle())) return m_progress->handle();
  return nullptr;
}

void Win32WindowSystem::showMessage(const std::string& text, int style, const std::string& title) {
  const std::wstring caption =
      platform::wideText(title.empty() ? std::string(forms::kApplicationTitle) : title);
  if (m_operator) {
    t_boxOperator = &m_operator;
    t_boxHook = SetWindowsHookExW(WH_CBT, boxActivated, nullptr, GetCurrentThreadId());
  }
  MessageBoxW(messageOwner(), platform::wideText(text).c_str(), caption.c_str(),
              MB_OK | static_cast<UINT>(style & 0x70));
  if (t_boxHook) {
    UnhookWindowsHookEx(t_boxHook);
    t_boxHook = nullptr;
  }
  t_boxOperator = nullptr;
}

void Win32WindowSystem::mainSetMousePointer(int pointer) {
  if (m_main) m_main->setMousePointer(pointer);
}

void Win32WindowSystem::mainHide() {
  if (m_main) ShowWindow(m_main->handle(), SW_HIDE);
}

void Win32WindowSystem::mainUnload() {
  if (m_main) m_main->unload();
}

void Win32WindowSystem::tipShowModal() {
  TipWindow tip(m_main ? m_main->handle() : nullptr);
  runModal(tip.handle(), m_main ? m_main->handle() : nullptr, tip.closed(), tip.closed(), false);
}

void Win32WindowSystem::progressShow(forms::ProgressState& state) {
  m_progress = std::make_unique<ProgressWindow>();
  m_progress->showFor(state);
}

void Win32WindowSystem::progressRefresh(forms::ProgressState& state) {
  if (m_progress) m_progress->refresh(state);
}

void Win32WindowSystem::progressScansEnded(forms::ProgressState& state) {
  if (m_progress) m_progress->settle(state);
}

void Win32WindowSystem::progressUnload() { m_progress.reset(); }

void Win32WindowSystem::reviewShowModal(forms::ReviewState& state) {
  m_review = std::make_unique<ReviewWindow>(state, *m_machine());
  m_reviewRunning = true;
  // Enter never presses Remove: a key as common as Enter must not remove keys.
  runModal(m_review->handle(), nullptr, m_review->modalEnded(), m_review->unloaded(), true);
  m_reviewRunning = false;
  if (m_review->unloaded()) m_review.reset();
}

void Win32WindowSystem::reviewEndModal(forms::ReviewState&) {
  if (m_review) m_review->endModal();
}

void Win32WindowSystem::reviewUnload(forms::ReviewState&) {
  if (!m_review) return;
  m_review->unload();
  // Inside its modal show the window is still in the call chain of its own
  // button; it is destroyed once the show has returned.
  if (!m_reviewRunning) m_review.reset();
}

void Win32WindowSystem::endProgram() {
  if (m_ended) return;
  m_ended = true;
  if (m_quit) m_quit();
}

void Win32WindowSystem::runModal(HWND window, HWND owner, const bool& done, const bool& closed,
                                 bool swallowEnter) {
  const bool ownerEnabled = owner && IsWindowEnabled(owner);
  if (ownerEnabled) EnableWindow(owner, FALSE);
  ShowWindow(window, SW_SHOW);
  SetForegroundWindow(window);
  UpdateWindow(window);
  if (m_operator && !done) m_operator(window);
  MSG msg;
  while (!done) {
    const BOOL got = GetMessageW(&msg, nullptr, 0, 0);
    if (got <= 0) {
      // The program is ending: its own loop must see the quit as well.
      if (got == 0) PostQuitMessage(static_cast<int>(msg.wParam));
      break;
    }
    if (swallowEnter && (msg.message == WM_KEYDOWN || msg.message == WM_CHAR) &&
        (msg.wParam == VK_RETURN || msg.wParam == '\r') &&
        (msg.hwnd == window || IsChild(window, msg.hwnd)))
      continue;
    if (IsDialogMessageW(window, &msg)) continue;
    TranslateMessage(&msg);
    DispatchMessageW(&msg);
  }
  if (ownerEnabled) EnableWindow(owner, TRUE);
  if (!closed) return;  // its modal show ended, and it stays on screen
  ShowWindow(window, SW_HIDE);
  if (owner && IsWindowVisible(owner)) SetActiveWindow(owner);
}

}  // namespace comsweep::win32
