#include "frontends/win32/ProgressWindow.h"

#include <commctrl.h>

#include "platform/WideText.h"
#include "forms/ProgressState.h"
#include "frontends/win32/Pictures.h"

namespace comsweep::win32 {

ProgressWindow::ProgressWindow() {
  // A tool window has no taskbar button; the operator has nothing to do here.
  create(L"Scanning", WS_POPUP | WS_BORDER, WS_EX_TOOLWINDOW, 504, 59, nullptr);
  // The design's frame starts 5 pixels above the window; its border is the
  // window's.
  constexpr int dy = -5 - 1;
  constexpr int dx = -1;
  addControl({kPictureId, WC_STATICW, L"", SS_OWNERDRAW, 8, 16, 41, 41}, dx, dy);
  addControl({0, WC_STATICW, L"Current Node:", SS_LEFT, 56, 16, 66, 13}, dx, dy);
  addControl({kCurrentNodeId, WC_STATICW, L"", SS_LEFTNOWORDWRAP | SS_NOPREFIX | SS_ENDELLIPSIS,
              128, 16, 369, 17, true},
             dx, dy);
  addControl({0, WC_STATICW, L"Deleted nodes:", SS_LEFT, 56, 40, 73, 17}, dx, dy);
  addControl({kFoundCountId, WC_STATICW, L"", SS_LEFT | SS_NOPREFIX, 136, 40, 153, 17}, dx, dy);
}

void ProgressWindow::showFor(const forms::ProgressState& state) {
  ShowWindow(m_hwnd, SW_SHOWNOACTIVATE);
  render(state);
}

void ProgressWindow::refresh(const forms::ProgressState& state) {
  // Looking at the clock for every key would cost a scan more than painting
  // does; every 256th update is often enough at thousands of keys a second.
  if (state.updates % 256 != 0) return;
  if (m_drawnOnce && GetTickCount64() - m_paintedAt < static_cast<ULONGLONG>(kRepaintIntervalMs))
    return;
  render(state);
}

void ProgressWindow::settle(const forms::ProgressState& state) {
  if (!m_drawnOnce || m_drawnUpdate != state.updates) render(state);
}

void ProgressWindow::render(const forms::ProgressState& state) {
  SetWindowTextW(control(kCurrentNodeId), platform::wideText(state.currentNode).c_str());
  SetWindowTextW(control(kFoundCountId), platform::wideText(state.foundCount).c_str());
  if (state.picture != m_drawnFrame || !m_drawnOnce) {
    m_drawnFrame = state.picture;
    InvalidateRect(control(kPictureId), nullptr, TRUE);
  }
  m_drawnOnce = true;
  m_drawnUpdate = state.updates;
  // The message loop is not running: paint the changed controls now.
  if (IsWindowVisible(m_hwnd)) RedrawWindow(m_hwnd, nullptr, nullptr, RDW_UPDATENOW | RDW_ALLCHILDREN);
  m_paintedAt = GetTickCount64();
  // Looking into the queue, without taking anything from it, tells Windows
  // that the program still answers: a scan of many seconds is not taken
  // for a hung program and its windows are not replaced by a ghost.
  MSG msg;
  PeekMessageW(&msg, nullptr, 0, 0, PM_NOREMOVE);
}

LRESULT ProgressWindow::onMessage(UINT message, WPARAM wParam, LPARAM lParam) {
  if (message == WM_DRAWITEM && wParam == kPictureId) {
    const auto* item = reinterpret_cast<const DRAWITEMSTRUCT*>(lParam);
    const COLORREF background = GetSysColor(COLOR_BTNFACE);
    HBRUSH fill = CreateSolidBrush(background);
    FillRect(item->hDC, &item->rcItem, fill);
    DeleteObject(fill);
    // The frames are drawn at 32 pixels in the 41-pixel place, top left.
    RECT picture = item->rcItem;
    picture.right = picture.left + Look::get().px(32);
    picture.bottom = picture.top + Look::get().px(32);
    drawAnimationFrame(item->hDC, picture, m_drawnFrame, background);
    return TRUE;
  }
  return Window::onMessage(message, wParam, lParam);
}

}  // namespace comsweep::win32
