#include "frontends/win32/TipWindow.h"

#include <commctrl.h>

#include <string_view>
#include <vector>

namespace comsweep::win32 {
namespace {

constexpr COLORREF kBlue = RGB(0, 0, 192);
constexpr COLORREF kRed = RGB(192, 0, 0);
// Labels drawn blue have ids from here on.
constexpr int kFirstBlueId = 400;
constexpr int kAllSwitchId = 390;
constexpr int kLogSwitchId = 391;

struct Label {
  bool blue;
  bool bold;
  const wchar_t* text;
  int x, y, width, height;
};

// The switches, inside the group box (at 4, 4).
constexpr Label kSwitches[] = {
    {true, true, L"Summit:", 16, 32, 64, 15},
    {true, true, L"/r9q", 80, 32, 40, 15},
    {false, false, L"for Summit components", 120, 32, 264, 15},
    {false, true, L"/r9q+", 80, 48, 40, 15},
    {false, false, L"for other Summit components (No specified reference)", 120, 48, 264, 15},
    {true, true, L"Peregrine:", 16, 84, 64, 15},
    {true, true, L"/p9q", 80, 84, 40, 15},
    {false, false, L"for Peregrine components", 120, 84, 264, 15},
    {false, true, L"/p9q+", 80, 100, 40, 15},
    {false, false, L"for other Peregrine components  (QZ.dll)", 120, 100, 264, 15},
    {true, true, L"Sonnet:", 16, 132, 64, 15},
    {true, true, L"/m9q", 80, 132, 40, 15},
    {false, false, L"for Sonnet components", 120, 132, 264, 15},
    {false, true, L"/m9q+", 80, 148, 40, 15},
    {false, false, L"for other Sonnet components:", 120, 148, 150, 15},
    {true, true, L"Harbor:", 16, 192, 64, 15},
    {true, true, L"/h9q", 80, 192, 40, 15},
    {false, false, L"for Harbor components", 120, 192, 264, 15},
    {false, true, L"/h9q+", 80, 208, 40, 15},
    {false, false, L"for other Harbor components (No specified reference)", 120, 208, 264, 15},
    {false, false, L"GVOXA,", 272, 148, 112, 15},
    {false, false, L"AssetBinder, CadenceX and DatePadControl", 120, 164, 264, 15},
    {true, true, L"Workbench:", 404, 36, 68, 15},
    {true, true, L"/t9q", 472, 36, 40, 15},
    {false, false, L"for Workbench components", 512, 36, 204, 15},
    {false, true, L"/t9q+", 472, 52, 40, 15},
    {false, false, L"for other Workbench components", 512, 52, 204, 15},
    {true, true, L"Journeys:", 404, 84, 68, 15},
    {true, true, L"/n9q", 472, 84, 40, 15},
    {false, false, L"for Journeys components", 512, 84, 204, 15},
    {false, true, L"/n9q+", 472, 100, 40, 15},
    {false, false, L"for other Journey Operators components", 512, 100, 204, 15},
    {true, true, L"Cadence Scripts:", 408, 144, 100, 15},
    {true, true, L"/w9q", 472, 164, 40, 15},
    {false, false, L"for Cadence Script DLLs components", 512, 164, 204, 15},
    {false, true, L"/w9q+", 472, 180, 40, 15},
    {false, false, L"for other Cadence Script DLLs: m9qRES.dll", 512, 180, 204, 15},
    {false, false, L"and m9qGridChart.", 512, 196, 204, 15},
};

struct Run {
  std::wstring_view text;
  COLORREF colour;
};

// Bold text in runs of colour, broken between words at the control's width.
void drawRuns(HDC dc, const RECT& rect, const std::vector<Run>& runs) {
  HGDIOBJ old = SelectObject(dc, Look::get().bold);
  SetBkMode(dc, TRANSPARENT);
  TEXTMETRICW metrics;
  GetTextMetricsW(dc, &metrics);
  int x = rect.left, y = rect.top;
  for (const Run& run : runs) {
    SetTextColor(dc, run.colour);
    std::size_t at = 0;
    while (at < run.text.size()) {
      std::size_t end = run.text.find(L' ', at);
      end = end == std::wstring_view::npos ? run.text.size() : end + 1;
      const std::wstring_view word = run.text.substr(at, end - at);
      SIZE size;
      GetTextExtentPoint32W(dc, word.data(), static_cast<int>(word.size()), &size);
      if (x > rect.left && x + size.cx > rect.right) {
        x = rect.left;
        y += metrics.tmHeight;
      }
      TextOutW(dc, x, y, word.data(), static_cast<int>(word.size()));
      x += size.cx;
      at = end;
    }
  }
  SelectObject(dc, old);
}

}  // namespace

TipWindow::TipWindow(HWND owner) {
  create(L"Tip", WS_CAPTION | WS_SYSMENU, WS_EX_CONTROLPARENT | WS_EX_DLGMODALFRAME, 728, 340,
         owner);
  addControl({0, WC_BUTTONW,
              L"This program allows you to delete all component referencies in the registry "
              L"according to the following rules:    ",
              BS_GROUPBOX, 4, 4, 721, 245});
  int blue = kFirstBlueId;
  for (const Label& l : kSwitches)
    addControl({l.blue ? blue++ : 0, WC_STATICW, l.text, SS_LEFT | SS_NOPREFIX, l.x, l.y, l.width,
                l.height, l.bold},
               4, 4);
  addControl({0, WC_STATICW, L"", SS_ETCHEDVERT, 388, 20, 2, 205}, 4, 4);
  addControl({0, WC_STATICW, L"Notes:", SS_LEFT, 8, 256, 40, 15, true});
  addControl({0, WC_STATICW,
              L"In order to be backward compatible, the /S option in the command line is still "
              L"available and will remove all of the components listed above in the registry.",
              SS_LEFT | SS_NOPREFIX, 52, 256, 341, 43});
  addControl({kAllSwitchId, WC_STATICW, L"", SS_OWNERDRAW, 404, 256, 297, 28});
  addControl({kLogSwitchId, WC_STATICW, L"", SS_OWNERDRAW, 404, 286, 297, 15});
  addControl({kOkId, WC_BUTTONW, L"OK", BS_DEFPUSHBUTTON | WS_TABSTOP, 336, 310, 61, 25});
  focusControl(control(kOkId));
}

LRESULT TipWindow::onMessage(UINT message, WPARAM wParam, LPARAM lParam) {
  switch (message) {
    case WM_COMMAND:
      if (LOWORD(wParam) == IDOK || LOWORD(wParam) == IDCANCEL) m_closed = true;
      return 0;
    case WM_CLOSE:
      m_closed = true;
      return 0;
    case DM_GETDEFID:
      return MAKELRESULT(kOkId, DC_HASDEFID);
    case WM_CTLCOLORSTATIC: {
      const int id = GetDlgCtrlID(reinterpret_cast<HWND>(lParam));
      if (id < kFirstBlueId) break;
      HDC dc = reinterpret_cast<HDC>(wParam);
      SetTextColor(dc, kBlue);
      SetBkColor(dc, GetSysColor(COLOR_BTNFACE));
      return reinterpret_cast<LRESULT>(GetSysColorBrush(COLOR_BTNFACE));
    }
    case WM_DRAWITEM: {
      const auto* item = reinterpret_cast<const DRAWITEMSTRUCT*>(lParam);
      FillRect(item->hDC, &item->rcItem, GetSysColorBrush(COLOR_BTNFACE));
      if (wParam == kAllSwitchId)
        drawRuns(item->hDC, item->rcItem,
                 {{L"The right parameter to remove all components in command line is ", 0},
                  {L"/ALL", kRed}});
      else if (wParam == kLogSwitchId)
        drawRuns(item->hDC, item->rcItem,
                 {{L"To log all keys removed from the registry, use ", 0}, {L"/LOG", kRed}});
      return TRUE;
    }
    default:
      break;
  }
  return Window::onMessage(message, wParam, lParam);
}

}  // namespace comsweep::win32
