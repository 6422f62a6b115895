#pragma once
// The window listing the command-line switches, modal over the main window;
// OK, Enter, Esc and the close box close it.

#include "frontends/win32/Window.h"

namespace comsweep::win32 {

class TipWindow : public Window {
 public:
  static constexpr int kOkId = IDOK;

  explicit TipWindow(HWND owner);
  const bool& closed() const { return m_closed; }

 protected:
  LRESULT onMessage(UINT message, WPARAM wParam, LPARAM lParam) override;

 private:
  bool m_closed = false;
};

}  // namespace comsweep::win32
