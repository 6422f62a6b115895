#pragma once
// A top-level window of the Win32 front end: one window class for all of
// them, the window procedure handed to the object, and the controls laid
// out in design pixels (the Qt windows' .ui geometry, 96 dots per inch),
// scaled to the display's dots per inch.

#include <windows.h>

#include <string>

namespace comsweep::win32 {

// The fonts and scale every window shares; made once per process.
struct Look {
  HFONT normal = nullptr;
  HFONT bold = nullptr;
  HFONT struck = nullptr;  // a struck entry of the review list
  int dpi = 96;

  static const Look& get();
  int px(int design) const { return MulDiv(design, dpi, 96); }
};

// One control of a window, in design pixels relative to the client area.
struct ControlDesign {
  int id;
  const wchar_t* className;  // WC_BUTTON, WC_STATIC, ...
  const wchar_t* text;
  DWORD style;               // besides WS_CHILD | WS_VISIBLE
  int x, y, width, height;
  bool bold = false;
};

class Window {
 public:
  Window() = default;
  virtual ~Window();
  Window(const Window&) = delete;
  Window& operator=(const Window&) = delete;

  HWND handle() const { return m_hwnd; }
  HWND control(int id) const { return GetDlgItem(m_hwnd, id); }

 protected:
  // Creates the window hidden, with a client area of the given design size,
  // centred over `owner` (or the screen).
  void create(const std::wstring& caption, DWORD style, DWORD exStyle, int clientWidth,
              int clientHeight, HWND owner);
  HWND addControl(const ControlDesign& design, int dx = 0, int dy = 0);
  // Puts the focus on the control, and back on it whenever the window is
  // activated again (a plain window would take the focus itself).
  void focusControl(HWND control);
  // Shows `text` while the pointer rests on the control.
  void setTip(HWND control, const std::wstring& text);
  virtual LRESULT onMessage(UINT message, WPARAM wParam, LPARAM lParam);

  HWND m_hwnd = nullptr;

 private:
  HWND m_tips = nullptr;
  HWND m_focus = nullptr;
  static LRESULT CALLBACK procedure(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam);
};

// The text of a window or control, as UTF-8.
std::string windowText(HWND hwnd);

}  // namespace comsweep::win32
