#include "frontends/win32/Window.h"

#include <commctrl.h>

#include "platform/WideText.h"
#include "frontends/win32/Pictures.h"

namespace comsweep::win32 {
namespace {

constexpr const wchar_t* kWindowClass = L"comsweepWindow";

int CALLBACK faceFound(const LOGFONTW*, const TEXTMETRICW*, DWORD, LPARAM found) {
  *reinterpret_cast<bool*>(found) = true;
  return 0;
}

bool hasFace(HDC dc, const wchar_t* face) {
  LOGFONTW wanted{};
  wanted.lfCharSet = DEFAULT_CHARSET;
  lstrcpynW(wanted.lfFaceName, face, LF_FACESIZE);
  bool found = false;
  EnumFontFamiliesExW(dc, &wanted, faceFound, reinterpret_cast<LPARAM>(&found), 0);
  return found;
}

// The design places controls tightly around captions in the dialog font,
// Tahoma at 8 points. Where it is missing (Wine without its own fonts), a
// narrow sans serif at 7.5 points keeps every caption inside its control,
// as in the Qt windows.
struct Face {
  const wchar_t* name;
  int tenthsOfPoint;
};

Face dialogFace(HDC dc) {
  if (hasFace(dc, L"Tahoma")) return {L"Tahoma", 80};
  if (hasFace(dc, L"DejaVu Sans Condensed")) return {L"DejaVu Sans Condensed", 75};
  return {L"MS Shell Dlg 2", 80};
}

HFONT makeFont(const Face& face, int dpi, int weight, bool strikeOut) {
  return CreateFontW(-MulDiv(face.tenthsOfPoint, dpi, 720), 0, 0, 0, weight, FALSE,
                     strikeOut ? TRUE : FALSE, FALSE, DEFAULT_CHARSET, OUT_DEFAULT_PRECIS,
                     CLIP_DEFAULT_PRECIS, CLEARTYPE_QUALITY, DEFAULT_PITCH | FF_SWISS, face.name);
}

void registerClass() {
  static bool registered = false;
  if (registered) return;
  WNDCLASSEXW wc{};
  wc.cbSize = sizeof wc;
  wc.lpfnWndProc = DefWindowProcW;
  wc.hInstance = GetModuleHandleW(nullptr);
  wc.hCursor = LoadCursorW(nullptr, IDC_ARROW);
  wc.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_BTNFACE + 1);
  wc.lpszClassName = kWindowClass;
  wc.hIcon = applicationIcon(32);
  wc.hIconSm = applicationIcon(16);
  RegisterClassExW(&wc);
  registered = true;
}

}  // namespace

const Look& Look::get() {
  static const Look look = [] {
    Look l;
    HDC screen = GetDC(nullptr);
    l.dpi = GetDeviceCaps(screen, LOGPIXELSY);
    const Face face = dialogFace(screen);
    ReleaseDC(nullptr, screen);
    l.normal = makeFont(face, l.dpi, FW_NORMAL, false);
    l.bold = makeFont(face, l.dpi, FW_BOLD, false);
    l.struck = makeFont(face, l.dpi, FW_NORMAL, true);
    return l;
  }();
  return look;
}

Window::~Window() {
  if (m_hwnd) {
    SetWindowLongPtrW(m_hwnd, GWLP_USERDATA, 0);
    DestroyWindow(m_hwnd);
  }
}

void Window::create(const std::wstring& caption, DWORD style, DWORD exStyle, int clientWidth,
                    int clientHeight, HWND owner) {
  registerClass();
  const Look& look = Look::get();
  RECT frame{0, 0, look.px(clientWidth), look.px(clientHeight)};
  AdjustWindowRectEx(&frame, style, FALSE, exStyle);
  const int width = frame.right - frame.left, height = frame.bottom - frame.top;
  RECT area;
  if (!owner || !IsWindowVisible(owner) || !GetWindowRect(owner, &area))
    SystemParametersInfoW(SPI_GETWORKAREA, 0, &area, 0);
  const int x = area.left + (area.right - area.left - width) / 2;
  const int y = area.top + (area.bottom - area.top - height) / 2;
  m_hwnd = CreateWindowExW(exStyle, kWindowClass, caption.c_str(), style, x < 0 ? 0 : x,
                           y < 0 ? 0 : y, width, height, owner, nullptr, GetModuleHandleW(nullptr),
                           nullptr);
  SetWindowLongPtrW(m_hwnd, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(this));
  SetWindowLongPtrW(m_hwnd, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(&Window::procedure));
}

HWND Window::addControl(const ControlDesign& design, int dx, int dy) {
  const Look& look = Look::get();
  const HFONT font = design.bold ? look.bold : look.normal;
  DWORD style = design.style;
  DWORD exStyle = 0;
  int width = look.px(design.width);
  const bool edit = lstrcmpiW(design.className, WC_EDITW) == 0;
  if (edit) exStyle = WS_EX_CLIENTEDGE;
  // A one-line label never breaks its caption onto a hidden second line:
  // where this font sets it wider than the design allowed, the label grows.
  if (lstrcmpiW(design.className, WC_STATICW) == 0 && (style & SS_TYPEMASK) == SS_LEFT &&
      design.height <= 17 && design.text && *design.text) {
    style = (style & ~SS_TYPEMASK) | SS_LEFTNOWORDWRAP;
    HDC dc = GetDC(nullptr);
    HGDIOBJ old = SelectObject(dc, font);
    SIZE size{};
    GetTextExtentPoint32W(dc, design.text, lstrlenW(design.text), &size);
    SelectObject(dc, old);
    ReleaseDC(nullptr, dc);
    if (size.cx > width) width = size.cx;
  }
  HWND hwnd = CreateWindowExW(exStyle, design.className, design.text, WS_CHILD | WS_VISIBLE | style,
                              look.px(design.x + dx), look.px(design.y + dy), width,
                              look.px(design.height), m_hwnd,
                              reinterpret_cast<HMENU>(static_cast<INT_PTR>(design.id)),
                              GetModuleHandleW(nullptr), nullptr);
  SendMessageW(hwnd, WM_SETFONT, reinterpret_cast<WPARAM>(font), FALSE);
  return hwnd;
}

void Window::setTip(HWND control, const std::wstring& text) {
  if (!m_tips) {
    m_tips = CreateWindowExW(0, TOOLTIPS_CLASSW, nullptr, WS_POPUP | TTS_NOPREFIX | TTS_ALWAYSTIP,
                             CW_USEDEFAULT, CW_USEDEFAULT, CW_USEDEFAULT, CW_USEDEFAULT, m_hwnd,
                             nullptr, GetModuleHandleW(nullptr), nullptr);
    SendMessageW(m_tips, TTM_SETMAXTIPWIDTH, 0, Look::get().px(600));
  }
  // A label tells the tip of the pointer only when it reports its mouse.
  SetWindowLongPtrW(control, GWL_STYLE, GetWindowLongPtrW(control, GWL_STYLE) | SS_NOTIFY);
  TTTOOLINFOW tool{};
  tool.cbSize = sizeof tool;
  tool.uFlags = TTF_IDISHWND | TTF_SUBCLASS;
  tool.hwnd = m_hwnd;
  tool.uId = reinterpret_cast<UINT_PTR>(control);
  tool.lpszText = const_cast<wchar_t*>(text.c_str());
  SendMessageW(m_tips, TTM_DELTOOLW, 0, reinterpret_cast<LPARAM>(&tool));
  SendMessageW(m_tips, TTM_ADDTOOLW, 0, reinterpret_cast<LPARAM>(&tool));
}

void Window::focusControl(HWND control) {
  m_focus = control;
  SetFocus(control);
}

LRESULT Window::onMessage(UINT message, WPARAM wParam, LPARAM lParam) {
  if (message == WM_ACTIVATE) {
    if (LOWORD(wParam) == WA_INACTIVE) {
      HWND focus = GetFocus();
      if (focus && IsChild(m_hwnd, focus)) m_focus = focus;
    } else if (m_focus && IsWindow(m_focus) && !HIWORD(wParam)) {
      SetFocus(m_focus);
      return 0;
    }
  }
  return DefWindowProcW(m_hwnd, message, wParam, lParam);
}

LRESULT CALLBACK Window::procedure(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
  auto* self = reinterpret_cast<Window*>(GetWindowLongPtrW(hwnd, GWLP_USERDATA));
  if (!self) return DefWindowProcW(hwnd, message, wParam, lParam);
  return self->onMessage(message, wParam, lParam);
}

std::string windowText(HWND hwnd) {
  std::wstring text(static_cast<std::size_t>(GetWindowTextLengthW(hwnd)) + 1, L'\0');
  text.resize(static_cast<std::size_t>(GetWindowTextW(hwnd, text.data(), static_cast<int>(text.size()))));
  return platform::narrowText(text);
}

}  // namespace comsweep::win32
