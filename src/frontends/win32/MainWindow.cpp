// The core's headers before <windows.h>, whose macros would take their names.
#include "app/MachineChoices.h"
#include "app/MachineChooser.h"
#include "app/MainForm.h"
#include "families/Families.h"
#include "platform/WideText.h"
#include "machine/Machine.h"
#include "forms/WindowSystem.h"
#include "frontends/win32/MainWindow.h"

#include <commctrl.h>
#include <commdlg.h>

#include <array>
#include <chrono>
#include <cstring>
#include <iterator>

namespace comsweep::win32 {
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

// `text` shortened in its middle to the width of `control`, as a path is.
std::wstring elidedPath(HWND control, std::wstring text, int width) {
  RECT rect{0, 0, width, 100};
  HDC dc = GetDC(control);
  HGDIOBJ old = SelectObject(dc, reinterpret_cast<HFONT>(SendMessageW(control, WM_GETFONT, 0, 0)));
  text.resize(text.size() + 4);
  DrawTextW(dc, text.data(), -1, &rect,
            DT_SINGLELINE | DT_PATH_ELLIPSIS | DT_MODIFYSTRING | DT_CALCRECT | DT_NOPREFIX);
  text.resize(wcslen(text.c_str()));
  SelectObject(dc, old);
  ReleaseDC(control, dc);
  return text;
}

}  // namespace

MainWindow::MainWindow(app::MainForm& form, app::MachineChooser& chooser)
    : m_form(form), m_chooser(chooser) {
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
  // Ends before the Remote Computer box: a Win32 label paints its whole
  // rectangle.
  addControl({kMachineLineId, WC_STATICW, L"", kLabel | SS_ENDELLIPSIS, 8, 331, 274, 13});
  // The height is the open list's; the closed box is the font's height.
  HWND list = addControl({kMachineListId, WC_COMBOBOXW, L"",
                          CBS_DROPDOWNLIST | WS_VSCROLL | WS_TABSTOP, 8, 345, 250, 160});
  SendMessageW(list, CB_SETITEMHEIGHT, static_cast<WPARAM>(-1), Look::get().px(14));
  addControl({kMachineBrowseId, WC_BUTTONW, L"...", BS_PUSHBUTTON | WS_TABSTOP, 260, 345, 22, 20});
  addControl({0, WC_STATICW, L"", SS_ETCHEDHORZ, 8, 366, 521, 2});
  addControl({kAutomaticId, WC_BUTTONW, L"Automatic", BS_DEFPUSHBUTTON | WS_TABSTOP, 8, 378, 65, 25});
  EnableWindow(addControl({kManualId, WC_BUTTONW, L"Manual", BS_PUSHBUTTON | WS_TABSTOP, 79, 378,
                           65, 25}),
               FALSE);
  addControl({kCancelId, WC_BUTTONW, L"Cancel", BS_PUSHBUTTON | WS_TABSTOP, 149, 378, 65, 25});
  addControl({kTipId, WC_BUTTONW, L"Tip !", BS_PUSHBUTTON | WS_TABSTOP, 220, 378, 65, 25});
  addControl({0, WC_STATICW, L"Version 2.4 P4", SS_RIGHT, 432, 390, 97, 13});

  showSelection();
  showMachine();
}

void MainWindow::show() {
  ShowWindow(m_hwnd, SW_SHOW);
  SetForegroundWindow(m_hwnd);
  focusControl(control(kFirstBoxId + static_cast<int>(families::Box::m9q)));
  showMachine();
  // The reading's outcome not at once: a box about the machine must come
  // over a window already painted.
  SetTimer(m_hwnd, kReadingTimerId, 100, nullptr);
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

void MainWindow::showMachine() {
  HWND list = control(kMachineListId);
  RECT box;
  GetClientRect(list, &box);
  SendMessageW(list, CB_RESETCONTENT, 0, 0);
  for (const std::filesystem::path& machine : m_chooser.choices()) {
    const std::wstring label =
        elidedPath(list, platform::wideText(app::machineLabel(machine, "")),
                   box.right - GetSystemMetrics(SM_CXVSCROLL) - Look::get().px(6));
    SendMessageW(list, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(label.c_str()));
  }
  SendMessageW(list, CB_SETCURSEL, m_chooser.chosenIndex(), 0);
  const bool reading = m_chooser.reading();
  EnableWindow(list, !reading);
  EnableWindow(control(kMachineBrowseId), !reading);

  HWND line = control(kMachineLineId);
  const std::wstring path = m_chooser.chosen().empty()
                                ? platform::wideText(app::machineLabel({}, ""))
                                : platform::wideText(m_chooser.chosen().string());
  if (reading) {
    const auto seconds =
        std::chrono::duration_cast<std::chrono::seconds>(m_chooser.readingTime()).count();
    SetWindowTextW(line, (L"Reading the local machine... " + std::to_wstring(seconds) + L" s").c_str());
    setTip(line, path + L" is being read; a run can start once it is read.");
  } else if (const registry::Machine* machine = m_chooser.machine()) {
    const std::wstring kind = platform::wideText(machine->kind);
    SetWindowTextW(line, (L"Local machine: " + kind).c_str());
    setTip(line, machine->path.empty() ? L"A run changes " + kind + L"."
                                       : L"A run changes the local machine " + path + L" (" +
                                             kind + L").");
  } else {
    SetWindowTextW(line, L"Local machine: cannot be opened");
    setTip(line, platform::wideText(m_chooser.error()));
  }
}

void MainWindow::readingTick() {
  // The box of a machine that cannot be opened runs its own message loop:
  // no tick may come in between.
  KillTimer(m_hwnd, kReadingTimerId);
  m_form.machineReadingEnded();
  showMachine();
  if (m_chooser.reading()) SetTimer(m_hwnd, kReadingTimerId, 100, nullptr);
}

void MainWindow::machineChosen(int index) {
  if (m_form.listedMachineChosen(index)) readingTick();
}

void MainWindow::browseClicked() {
  wchar_t file[32768] = L"";
  OPENFILENAMEW dialog{};
  dialog.lStructSize = sizeof dialog;
  dialog.hwndOwner = m_hwnd;
  dialog.lpstrFilter =
      L"Registries (*.reg, SOFTWARE, *.dat, *.hiv)\0*.reg;SOFTWARE;*.dat;*.hiv\0All files (*.*)\0*.*\0";
  dialog.lpstrFile = file;
  dialog.nMaxFile = static_cast<DWORD>(std::size(file));
  dialog.lpstrTitle = L"Registry Cleaner";
  dialog.Flags = OFN_FILEMUSTEXIST | OFN_PATHMUSTEXIST | OFN_HIDEREADONLY | OFN_NOCHANGEDIR;
  if (!GetOpenFileNameW(&dialog)) return;
  const std::wstring picked = file;
  m_form.machineChosen(app::machineOfPickedFile(std::filesystem::path(picked)));
  readingTick();
}

void MainWindow::setMousePointer(int pointer) {
  if (pointer == forms::kHourglassPointer)
    m_cursor = LoadCursorW(nullptr, IDC_WAIT);
  else if (pointer == forms::kArrowHourglassPointer)
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
  if (id == kMachineListId) {
    // Moving through the open list chooses nothing until it closes.
    HWND list = control(kMachineListId);
    if ((code == CBN_SELCHANGE && !SendMessageW(list, CB_GETDROPPEDSTATE, 0, 0)) || code == CBN_CLOSEUP)
      machineChosen(static_cast<int>(SendMessageW(list, CB_GETCURSEL, 0, 0)));
    return;
  }
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
  } else if (id == kMachineBrowseId) {
    browseClicked();
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
    case WM_TIMER:
      if (wParam == kReadingTimerId) readingTick();
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

}  // namespace comsweep::win32
