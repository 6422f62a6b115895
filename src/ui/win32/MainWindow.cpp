// The core's headers before <windows.h>, whose macros would take their names.
#include "app/MainForm.h"
#include "families/Families.h"
#include "platform/WideText.h"
#include "registry/Machine.h"
#include "ui/WindowSystem.h"
#include "ui/win32/MainWindow.h"

#include <commctrl.h>

#include <array>
#include <cstring>

namespace comsweep::ui::win32 {
namespace {

struct Place {
  const char* name;
  int x, y, width, height;
  bool enabled;
};

// The family boxes where the design puts them, by control name.
constexpr std::array<Place, families::kBoxCount> kBoxPlaces = {{
    {"chkM9q", 20, 52, 169, 17, true},      {"chkM9qPlus", 20, 76, 232, 17, true},
    {"chkP9q", 20, 132, 193, 17, true},     {"chkP9qPlus", 20, 156, 232, 17, true},
    {"chkH9q", 20, 216, 153, 17, true},     {"chkH9qPlus", 20, 240, 169, 17, false},
    {"chkR9q", 24, 288, 153, 17, true},     {"chkR9qPlus", 24, 312, 169, 17, false},
    {"chkW9q", 284, 52, 193, 17, true},     {"chkW9qPlus", 284, 76, 245, 17, true},
    {"chkT9q", 284, 132, 153, 17, true},    {"chkT9qPlus", 284, 156, 169, 17, false},
    {"chkN9q", 284, 216, 153, 17, true},    {"chkN9qPlus", 284, 240, 237, 17, false},
}};

// The group label of each family, in family order.
constexpr std::array<Place, 7> kGroupLabelPlaces = {{
    {"Label1", 8, 32, 100, 13, true},
    {"Label3", 8, 112, 100, 13, true},
    {"Label4", 272, 112, 160, 13, true},
    {"Label2", 272, 32, 160, 13, true},
    {"Label5", 8, 196, 100, 13, true},
    {"Label8", 12, 268, 100, 13, true},
    {"Label7", 272, 196, 160, 13, true},
}};

constexpr DWORD kCheckBox = BS_AUTOCHECKBOX | WS_TABSTOP;
constexpr DWORD kLabel = SS_LEFT | SS_NOPREFIX;

}  // namespace

MainWindow::MainWindow(app::MainForm& form, const registry::Machine& machine) : m_form(form) {
  create(L"Registry Cleaner", WS_CAPTION | WS_SYSMENU, WS_EX_CONTROLPARENT, 534, 407, nullptr);

  addControl({0, WC_STATICW, L"Select the components you want to remove:", kLabel, 8, 8, 208, 13});
  for (std::size_t i = 0; i < families::kFamilies.size(); ++i) {
    const Place& p = kGroupLabelPlaces[i];
    addControl({0, WC_STATICW, platform::wideText(families::kFamilies[i].groupLabel).c_str(), kLabel,
                p.x, p.y, p.width, p.height, true});
  }
  for (int x : {256}) {
    for (int y : {24, 104, 188, 268}) addControl({0, WC_STATICW, L"", SS_ETCHEDVERT, x, y, 1, 69});
  }
  addControl({0, WC_STATICW, L"", SS_ETCHEDHORZ, 264, 268, 265, 2});

  // The boxes in the design's tab order: the left column, then the right.
  for (const Place& p : kBoxPlaces) {
    for (int i = 0; i < families::kBoxCount; ++i) {
      const auto box = static_cast<families::Box>(i);
      if (std::strcmp(families::boxName(box), p.name) != 0) continue;
      const families::Family* family = nullptr;
      for (const families::Family& f : families::kFamilies)
        if (f.ownBox == box || f.plusBox == box) family = &f;
      const char* caption = family->ownBox == box ? family->ownCaption : family->plusCaption;
      HWND hwnd = addControl({kFirstBoxId + i, WC_BUTTONW, platform::wideText(caption).c_str(),
                              kCheckBox, p.x, p.y, p.width, p.height});
      if (!p.enabled) EnableWindow(hwnd, FALSE);
    }
  }
  addControl({kReviewFirstId, WC_BUTTONW, L"View all keys before being removed.", kCheckBox, 284,
              278, 245, 17});
  addControl({kCreateLogId, WC_BUTTONW, L"Create Log File (C:\\9QReg.log)", kCheckBox, 284, 302,
              203, 17});
  addControl({kRemoteId, WC_BUTTONW, L"Remote Computer", kCheckBox, 284, 326, 120, 17});
  addControl({kRemoteLabelId, WC_STATICW, L"Computer Name:", kLabel, 326, 346, 79, 13});
  addControl({kRemoteNameId, WC_EDITW, L"", ES_AUTOHSCROLL | WS_TABSTOP, 406, 344, 115,
              19});
  // Narrower than the Qt label: a Win32 label paints its whole rectangle,
  // and the Qt one reaches under the Remote Computer box.
  addControl({kMachineLineId, WC_STATICW, L"", kLabel, 8, 339, 270, 26});
  addControl({0, WC_STATICW, L"", SS_ETCHEDHORZ, 8, 366, 521, 2});
  addControl({kAutomaticId, WC_BUTTONW, L"Automatic", BS_DEFPUSHBUTTON | WS_TABSTOP, 8, 378, 65, 25});
  EnableWindow(addControl({kManualId, WC_BUTTONW, L"Manual", BS_PUSHBUTTON | WS_TABSTOP, 79, 378,
                           65, 25}),
               FALSE);
  addControl({kCancelId, WC_BUTTONW, L"Cancel", BS_PUSHBUTTON | WS_TABSTOP, 149, 378, 65, 25});
  addControl({kTipId, WC_BUTTONW, L"Tip !", BS_PUSHBUTTON | WS_TABSTOP, 220, 378, 65, 25});
  addControl({0, WC_STATICW, L"Version 2.4 P4", SS_RIGHT, 432, 390, 97, 13});

  showSelection();
  showMachine(machine);
}

void MainWindow::show() {
  ShowWindow(m_hwnd, SW_SHOW);
  SetForegroundWindow(m_hwnd);
  focusControl(control(kFirstBoxId + static_cast<int>(families::Box::m9q)));
}

void MainWindow::showSelection() {
  const families::Selection& s = m_form.selection();
  auto tick = [this](int id, bool on) {
    SendMessageW(control(id), BM_SETCHECK, on ? BST_CHECKED : BST_UNCHECKED, 0);
  };
  for (int i = 0; i < families::kBoxCount; ++i) tick(kFirstBoxId + i, s.boxes[static_cast<std::size_t>(i)]);
  tick(kReviewFirstId, s.reviewFirst);
  tick(kCreateLogId, s.createLogFile);
  tick(kRemoteId, s.useRemoteMachine);
  if (windowText(control(kRemoteNameId)) != s.remoteMachineName)
    SetWindowTextW(control(kRemoteNameId), platform::wideText(s.remoteMachineName).c_str());
  const int shown = m_form.remoteNameVisible() ? SW_SHOW : SW_HIDE;
  ShowWindow(control(kRemoteLabelId), shown);
  ShowWindow(control(kRemoteNameId), shown);
}

void MainWindow::showMachine(const registry::Machine& machine) {
  // The path shortened in its middle, as the line is wide.
  std::wstring path = platform::wideText(machine.path.string());
  HWND line = control(kMachineLineId);
  RECT rect;
  GetClientRect(line, &rect);
  HDC dc = GetDC(line);
  HGDIOBJ old = SelectObject(dc, reinterpret_cast<HFONT>(SendMessageW(line, WM_GETFONT, 0, 0)));
  path.resize(path.size() + 4);
  DrawTextW(dc, path.data(), -1, &rect,
            DT_SINGLELINE | DT_PATH_ELLIPSIS | DT_MODIFYSTRING | DT_CALCRECT | DT_NOPREFIX);
  path.resize(wcslen(path.c_str()));
  SelectObject(dc, old);
  ReleaseDC(line, dc);
  SetWindowTextW(line, (L"Local machine: " + platform::wideText(machine.kind) + L"\r\n" + path).c_str());
  const std::wstring kind = platform::wideText(machine.kind);
  setTip(line, machine.path.empty()
                   ? L"A run changes " + kind + L"."
                   : L"A run changes the local machine " + platform::wideText(machine.path.string()) +
                         L" (" + kind + L").");
}

void MainWindow::setMousePointer(int pointer) {
  if (pointer == kHourglassPointer)
    m_cursor = LoadCursorW(nullptr, IDC_WAIT);
  else if (pointer == kArrowHourglassPointer)
    m_cursor = LoadCursorW(nullptr, IDC_APPSTARTING);
  else
    m_cursor = nullptr;
  // The scans hold the thread: the pointer must change now, not at the
  // next mouse move.
  SetCursor(m_cursor ? m_cursor : LoadCursorW(nullptr, IDC_ARROW));
}

void MainWindow::unload() {
  m_unloaded = true;
  ShowWindow(m_hwnd, SW_HIDE);
}

void MainWindow::command(int id, int code) {
  if (code != BN_CLICKED && id != kRemoteNameId) return;
  families::Selection& s = m_form.selection();
  auto ticked = [this, id] { return SendMessageW(control(id), BM_GETCHECK, 0, 0) == BST_CHECKED; };
  if (id >= kFirstBoxId && id < kFirstBoxId + families::kBoxCount) {
    s.boxes[static_cast<std::size_t>(id - kFirstBoxId)] = ticked();
  } else if (id == kReviewFirstId) {
    s.reviewFirst = ticked();
  } else if (id == kCreateLogId) {
    s.createLogFile = ticked();
  } else if (id == kRemoteId) {
    s.useRemoteMachine = ticked();
    m_form.remoteMachineClicked();
    showSelection();
  } else if (id == kRemoteNameId) {
    if (code == EN_CHANGE) s.remoteMachineName = windowText(control(kRemoteNameId));
  } else if (id == kAutomaticId) {
    // Enter reaches here even while the window is disabled or gone.
    if (!m_unloaded && IsWindowVisible(m_hwnd)) m_form.continueClicked();
  } else if (id == kManualId) {
    m_form.manualClicked();
  } else if (id == kCancelId) {
    if (!m_unloaded) m_form.cancelClicked();
  } else if (id == kTipId) {
    m_form.tipClicked();
  }
}

LRESULT MainWindow::onMessage(UINT message, WPARAM wParam, LPARAM lParam) {
  switch (message) {
    case WM_COMMAND:
      command(LOWORD(wParam), HIWORD(wParam));
      return 0;
    case WM_CLOSE:
      if (!m_unloaded) m_form.cancelClicked();
      return 0;
    case DM_GETDEFID:
      return MAKELRESULT(kAutomaticId, DC_HASDEFID);
    case WM_SETCURSOR:
      if (m_cursor && LOWORD(lParam) == HTCLIENT) {
        SetCursor(m_cursor);
        return TRUE;
      }
      break;
    default:
      break;
  }
  return Window::onMessage(message, wParam, lParam);
}

}  // namespace comsweep::ui::win32
