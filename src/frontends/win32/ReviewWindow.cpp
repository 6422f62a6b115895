// The core's headers before <windows.h>, whose macros would take their names.
#include "platform/WideText.h"
#include "machine/Machine.h"
#include "forms/ReviewState.h"
#include "frontends/win32/ReviewWindow.h"

#include <commctrl.h>

#include "frontends/win32/Pictures.h"

namespace comsweep::win32 {
namespace {

// The list's key codes go to the review logic as they come.
static_assert(forms::ReviewState::kDeleteKey == VK_DELETE);

// The button frame's controls, relative to the frame (design top 380).
constexpr int kDesignButtonsTop = 380;
const ControlDesign kButtonFrame[] = {
    {0, WC_STATICW,
     L"By deleting a key (del) in the list above, this key will not be removed in the registry.",
     SS_LEFT | SS_NOPREFIX, 128, 4, 213, 29},
    {ReviewWindow::kFirstLegendPictureId + 0, WC_STATICW, L"", SS_OWNERDRAW, 376, 0, 16, 16},
    {0, WC_STATICW, L"Prog ID", SS_LEFT, 404, 4, 93, 15},
    {ReviewWindow::kFirstLegendPictureId + 1, WC_STATICW, L"", SS_OWNERDRAW, 376, 20, 16, 16},
    {0, WC_STATICW, L"Class ID", SS_LEFT, 404, 20, 93, 15},
    {ReviewWindow::kFirstLegendPictureId + 2, WC_STATICW, L"", SS_OWNERDRAW, 476, 0, 16, 16},
    {0, WC_STATICW, L"Interface", SS_LEFT, 504, 4, 88, 15},
    {ReviewWindow::kFirstLegendPictureId + 3, WC_STATICW, L"", SS_OWNERDRAW, 476, 20, 16, 16},
    {0, WC_STATICW, L"Type Libraries", SS_LEFT, 504, 20, 88, 15},
};
// In tab order: the list, Cancel, Remove.
const ControlDesign kCancelButton = {ReviewWindow::kCancelId, WC_BUTTONW, L"Cancel",
                                   BS_PUSHBUTTON | WS_TABSTOP, 60, 4, 61, 29};
const ControlDesign kRemoveButton = {ReviewWindow::kRemoveId, WC_BUTTONW, L"Remove",
                                   BS_PUSHBUTTON | WS_TABSTOP, 0, 4, 57, 29};

int shiftFlags() {
  return (GetKeyState(VK_SHIFT) < 0 ? 1 : 0) | (GetKeyState(VK_CONTROL) < 0 ? 2 : 0) |
         (GetKeyState(VK_MENU) < 0 ? 4 : 0);
}

RECT rectIn(HWND parent, HWND child) {
  RECT r;
  GetWindowRect(child, &r);
  MapWindowPoints(nullptr, parent, reinterpret_cast<POINT*>(&r), 2);
  return r;
}

}  // namespace

ReviewWindow::ReviewWindow(forms::ReviewState& state, const registry::Machine& machine)
    : m_state(state) {
  create(L"Registry Keys", WS_OVERLAPPEDWINDOW, WS_EX_CONTROLPARENT, 596, 421, nullptr);
  const Look& look = Look::get();

  addControl({kHeadingId, WC_STATICW, platform::wideText(state.heading).c_str(), SS_LEFT | SS_NOPREFIX,
              4, 8, 293, 17});
  addControl({kRemoteLabelId, WC_STATICW, platform::wideText(state.remoteMachineLabel).c_str(),
              SS_RIGHT | SS_NOPREFIX, 324, 8, 269, 15, true});

  HWND list = addControl({kListId, WC_LISTVIEWW, L"",
                          LVS_REPORT | LVS_OWNERDATA | LVS_SINGLESEL | LVS_SHOWSELALWAYS |
                              WS_BORDER | WS_TABSTOP,
                          0, 28, 597, 349});
  SendMessageW(list, LVM_SETEXTENDEDLISTVIEWSTYLE, LVS_EX_FULLROWSELECT | LVS_EX_DOUBLEBUFFER | LVS_EX_INFOTIP,
               LVS_EX_FULLROWSELECT | LVS_EX_DOUBLEBUFFER | LVS_EX_INFOTIP);
  // Room around each picture as the Qt list leaves it: rows of 18 pixels,
  // the text a little way from the picture.
  m_images = categoryImages(look.px(16), look.px(2));
  SendMessageW(list, LVM_SETIMAGELIST, LVSIL_SMALL, reinterpret_cast<LPARAM>(m_images));
  const wchar_t* const kHeadings[] = {L"Key", L"Found value"};
  const int kWidths[] = {267, 200};  // the design widths, 4000 and 3000 twips
  for (int i = 0; i < 2; ++i) {
    LVCOLUMNW column{};
    column.mask = LVCF_TEXT | LVCF_WIDTH | LVCF_SUBITEM;
    column.pszText = const_cast<wchar_t*>(kHeadings[i]);
    column.cx = look.px(kWidths[i]);
    column.iSubItem = i;
    SendMessageW(list, LVM_INSERTCOLUMNW, static_cast<WPARAM>(i), reinterpret_cast<LPARAM>(&column));
  }
  SendMessageW(list, LVM_SETITEMCOUNT, m_state.foundKeys.count(), 0);

  addControl(kCancelButton, 0, kDesignButtonsTop);
  addControl(kRemoveButton, 0, kDesignButtonsTop);
  for (const ControlDesign& design : kButtonFrame) addControl(design, 0, kDesignButtonsTop);
  m_buttonsTop = look.px(kDesignButtonsTop);

  // The live registry has no path to name.
  std::wstring where = L"Local machine: " + platform::wideText(machine.kind);
  if (!machine.path.empty()) where += L", " + platform::wideText(machine.path.string());
  setTip(control(kHeadingId), where);
  setTip(control(kRemoteLabelId), where);
  showSortIndicator();
  // The first entry starts selected, so that the highlighted entry is the
  // one Del strikes.
  selectEntry(m_state.foundKeys.count() > 0 ? 1 : 0);
  focusControl(list);
}

ReviewWindow::~ReviewWindow() {
  if (m_hwnd) {
    SetWindowLongPtrW(m_hwnd, GWLP_USERDATA, 0);
    DestroyWindow(m_hwnd);
    m_hwnd = nullptr;
  }
  if (m_images) ImageList_Destroy(m_images);
}

void ReviewWindow::readSelection() {
  const LRESULT index = SendMessageW(control(kListId), LVM_GETNEXTITEM, static_cast<WPARAM>(-1),
                                     LVNI_SELECTED);
  m_state.selectedPosition = index < 0 ? 0 : static_cast<std::size_t>(index) + 1;
}

void ReviewWindow::selectEntry(std::size_t position) {
  HWND list = control(kListId);
  LVITEMW item{};
  item.stateMask = LVIS_SELECTED | LVIS_FOCUSED;
  item.state = 0;
  SendMessageW(list, LVM_SETITEMSTATE, static_cast<WPARAM>(-1), reinterpret_cast<LPARAM>(&item));
  if (position == 0 || position > m_state.foundKeys.count()) {
    m_state.selectedPosition = 0;
    return;
  }
  item.state = LVIS_SELECTED | LVIS_FOCUSED;
  SendMessageW(list, LVM_SETITEMSTATE, position - 1, reinterpret_cast<LPARAM>(&item));
  SendMessageW(list, LVM_ENSUREVISIBLE, position - 1, FALSE);
  m_state.selectedPosition = position;
}

void ReviewWindow::showSortIndicator() {
  HWND header = reinterpret_cast<HWND>(SendMessageW(control(kListId), LVM_GETHEADER, 0, 0));
  const auto& keys = m_state.foundKeys;
  for (int i = 0; i < 2; ++i) {
    HDITEMW item{};
    item.mask = HDI_FORMAT;
    SendMessageW(header, HDM_GETITEMW, static_cast<WPARAM>(i), reinterpret_cast<LPARAM>(&item));
    item.fmt &= ~(HDF_SORTUP | HDF_SORTDOWN);
    if (keys.sorted() && keys.sortKey() == i)
      item.fmt |= keys.sortOrder() == scan::FoundKeyList::SortOrder::Ascending ? HDF_SORTUP
                                                                                : HDF_SORTDOWN;
    SendMessageW(header, HDM_SETITEMW, static_cast<WPARAM>(i), reinterpret_cast<LPARAM>(&item));
  }
}

forms::ReviewGeometry ReviewWindow::currentGeometry() const {
  RECT client;
  GetClientRect(m_hwnd, &client);
  const RECT list = rectIn(m_hwnd, control(kListId));
  const RECT label = rectIn(m_hwnd, control(kRemoteLabelId));
  return {client.right, client.bottom, list.right - list.left, list.bottom - list.top,
          m_buttonsTop, label.left};
}

void ReviewWindow::placeButtonFrame(int top) {
  const int shift = top - m_buttonsTop;
  if (shift == 0) return;
  for (int id : {kCancelId, kRemoveId}) {
    const RECT r = rectIn(m_hwnd, control(id));
    SetWindowPos(control(id), nullptr, r.left, r.top + shift, 0, 0,
                 SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
  }
  // The frame's other controls have no ids of their own but the pictures':
  // move every child below the list.
  const RECT list = rectIn(m_hwnd, control(kListId));
  for (HWND child = GetWindow(m_hwnd, GW_CHILD); child; child = GetWindow(child, GW_HWNDNEXT)) {
    const int id = GetDlgCtrlID(child);
    if (id == kCancelId || id == kRemoveId || id == kListId || id == kHeadingId ||
        id == kRemoteLabelId)
      continue;
    const RECT r = rectIn(m_hwnd, child);
    if (r.top < list.top) continue;
    SetWindowPos(child, nullptr, r.left, r.top + shift, 0, 0,
                 SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
  }
  m_buttonsTop = top;
}

void ReviewWindow::resized(int width, int height, bool minimized) {
  std::optional<forms::ReviewGeometry> g = m_layout.resized(width, height, minimized);
  if (!g) return;
  HWND list = control(kListId);
  const RECT r = rectIn(m_hwnd, list);
  SetWindowPos(list, nullptr, r.left, r.top, g->listWidth, g->listHeight,
               SWP_NOZORDER | SWP_NOACTIVATE);
  placeButtonFrame(g->buttonsTop);
  const RECT label = rectIn(m_hwnd, control(kRemoteLabelId));
  SetWindowPos(control(kRemoteLabelId), nullptr, g->remoteLabelLeft, label.top, 0, 0,
               SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
  InvalidateRect(m_hwnd, nullptr, TRUE);
}

LRESULT ReviewWindow::customDraw(LPARAM lParam) {
  auto* draw = reinterpret_cast<NMLVCUSTOMDRAW*>(lParam);
  switch (draw->nmcd.dwDrawStage) {
    case CDDS_PREPAINT:
      return CDRF_NOTIFYITEMDRAW;
    case CDDS_ITEMPREPAINT: {
      const std::size_t position = draw->nmcd.dwItemSpec + 1;
      if (position > m_state.foundKeys.count() || !m_state.foundKeys.item(position).kept)
        return CDRF_DODEFAULT;
      // A struck entry: its key stays in the registry.
      draw->clrText = GetSysColor(COLOR_GRAYTEXT);
      SelectObject(draw->nmcd.hdc, Look::get().struck);
      return CDRF_NEWFONT;
    }
    default:
      return CDRF_DODEFAULT;
  }
}

LRESULT ReviewWindow::notify(const NMHDR& header, LPARAM lParam) {
  if (header.idFrom != kListId) return 0;
  switch (header.code) {
    case LVN_GETDISPINFOW: {
      auto* info = reinterpret_cast<NMLVDISPINFOW*>(lParam);
      const std::size_t position = static_cast<std::size_t>(info->item.iItem) + 1;
      if (position > m_state.foundKeys.count()) return 0;
      const scan::FoundKey& entry = m_state.foundKeys.item(position);
      if (info->item.mask & LVIF_TEXT) {
        m_itemText = platform::wideText(info->item.iSubItem == 0 ? entry.name : entry.foundValue);
        lstrcpynW(info->item.pszText, m_itemText.c_str(), info->item.cchTextMax);
      }
      if ((info->item.mask & LVIF_IMAGE) && info->item.iSubItem == 0) {
        const int category = categoryIndex(entry.category);
        info->item.iImage = category < 0 ? I_IMAGENONE : category + (entry.kept ? 4 : 0);
      }
      return 0;
    }
    case NM_CUSTOMDRAW:
      return customDraw(lParam);
    case LVN_GETINFOTIPW: {
      // Where the entry's key is.
      auto* tip = reinterpret_cast<NMLVGETINFOTIPW*>(lParam);
      const std::size_t position = static_cast<std::size_t>(tip->iItem) + 1;
      if (position > m_state.foundKeys.count() || tip->cchTextMax <= 0) return 0;
      m_itemText = L"HKEY_CLASSES_ROOT\\" + platform::wideText(m_state.foundKeys.item(position).path);
      lstrcpynW(tip->pszText, m_itemText.c_str(), tip->cchTextMax);
      return 0;
    }
    case LVN_ITEMCHANGED:
      readSelection();
      return 0;
    case LVN_KEYDOWN: {
      const auto* key = reinterpret_cast<const NMLVKEYDOWN*>(lParam);
      readSelection();
      const std::size_t selected = m_state.selectedPosition;
      m_state.keyPressed(key->wVKey, shiftFlags());
      if (selected != 0)
        SendMessageW(control(kListId), LVM_REDRAWITEMS, selected - 1, selected - 1);
      return 0;
    }
    case LVN_COLUMNCLICK: {
      const auto* column = reinterpret_cast<const NMLISTVIEW*>(lParam);
      readSelection();
      m_state.columnClicked(column->iSubItem + 1);
      const std::size_t selected = m_state.selectedPosition;
      InvalidateRect(control(kListId), nullptr, TRUE);
      selectEntry(selected);
      showSortIndicator();
      return 0;
    }
    default:
      return 0;
  }
}

LRESULT ReviewWindow::onMessage(UINT message, WPARAM wParam, LPARAM lParam) {
  switch (message) {
    case WM_NOTIFY:
      return notify(*reinterpret_cast<const NMHDR*>(lParam), lParam);
    case WM_COMMAND:
      if (HIWORD(wParam) != BN_CLICKED) break;
      if (LOWORD(wParam) == kRemoveId) m_state.removeClicked();
      if (LOWORD(wParam) == kCancelId) m_state.cancelClicked();
      return 0;
    case WM_CLOSE:
      unload();
      return 0;
    case WM_ACTIVATE:
      if (LOWORD(wParam) != WA_INACTIVE) {
        m_layout.activated(currentGeometry());
        m_state.activated();
        SetWindowTextW(control(kRemoteLabelId),
                       platform::wideText(m_state.remoteMachineLabel).c_str());
      }
      break;
    case WM_SIZE:
      resized(LOWORD(lParam), HIWORD(lParam), wParam == SIZE_MINIMIZED);
      break;
    case WM_CTLCOLORSTATIC:
      if (reinterpret_cast<HWND>(lParam) == control(kRemoteLabelId)) {
        HDC dc = reinterpret_cast<HDC>(wParam);
        SetTextColor(dc, RGB(192, 64, 0));
        SetBkColor(dc, GetSysColor(COLOR_BTNFACE));
        return reinterpret_cast<LRESULT>(GetSysColorBrush(COLOR_BTNFACE));
      }
      break;
    case WM_DRAWITEM: {
      const auto* item = reinterpret_cast<const DRAWITEMSTRUCT*>(lParam);
      const int legend = static_cast<int>(wParam) - kFirstLegendPictureId;
      if (legend < 0 || legend > 3) break;
      const COLORREF background = GetSysColor(COLOR_BTNFACE);
      FillRect(item->hDC, &item->rcItem, GetSysColorBrush(COLOR_BTNFACE));
      drawCategory(item->hDC, item->rcItem, legend, false, background);
      return TRUE;
    }
    default:
      break;
  }
  return Window::onMessage(message, wParam, lParam);
}

}  // namespace comsweep::win32
