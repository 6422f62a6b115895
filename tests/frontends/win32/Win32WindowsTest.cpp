// comsweep.exe's windows on the live registry of the test's Wine prefix,
// driven as an operator would, by window messages to their controls: the
// keys are seeded below HKLM\Software\Classes, a run goes from the main
// window through the review window to the closing message, and the
// registry is read back. What the log and the backup hold is the same core's
// as in the Qt windows' tests and is checked there. Needs a display
// (scripts/test-windows starts a virtual X server); skipped without one.

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <string>
#include <vector>

#include "app/MachineChooser.h"
#include "families/Selection.h"
#include "machine/Machine.h"
#include "frontends/win32/MainWindow.h"
#include "frontends/win32/ReviewWindow.h"
#include "frontends/win32/Win32Session.h"

namespace comsweep::win32 {
namespace {

namespace fs = std::filesystem;

const wchar_t* const kClasses = L"Software\\Classes\\";
// Found by the m9q box: three ProgIDs and a class of the family's file.
const std::vector<std::wstring> kFamilyKeys = {L"m9q.Grid", L"m9q.Chart", L"M9Q.Document",
                                                L"CLSID\\{6D9C2000-0000-4000-8000-0000000000C1}"};
const wchar_t* const kUnrelatedKey = L"comsweep.Unrelated";

bool keyExists(const std::wstring& path) {
  HKEY key = nullptr;
  const bool found =
      RegOpenKeyExW(HKEY_LOCAL_MACHINE, (kClasses + path).c_str(), 0, KEY_READ | KEY_WOW64_64KEY, &key) == 0;
  if (found) RegCloseKey(key);
  return found;
}

void setKey(const std::wstring& path, const std::wstring& value) {
  HKEY key = nullptr;
  ASSERT_EQ(RegCreateKeyExW(HKEY_LOCAL_MACHINE, (kClasses + path).c_str(), 0, nullptr, 0,
                            KEY_ALL_ACCESS | KEY_WOW64_64KEY, nullptr, &key, nullptr),
            0);
  RegSetValueExW(key, nullptr, 0, REG_SZ, reinterpret_cast<const BYTE*>(value.c_str()),
                 static_cast<DWORD>((value.size() + 1) * sizeof(wchar_t)));
  RegCloseKey(key);
}

std::wstring itemText(HWND list, int row) {
  wchar_t text[256] = {};
  LVITEMW item{};
  item.pszText = text;
  item.cchTextMax = 256;
  SendMessageW(list, LVM_GETITEMTEXTW, static_cast<WPARAM>(row), reinterpret_cast<LPARAM>(&item));
  return text;
}

int rowOf(HWND list, const std::wstring& name) {
  const int count = static_cast<int>(SendMessageW(list, LVM_GETITEMCOUNT, 0, 0));
  for (int row = 0; row < count; ++row)
    if (itemText(list, row) == name) return row;
  return -1;
}

void strike(HWND list, const std::wstring& name) {
  LVITEMW item{};
  item.stateMask = item.state = LVIS_SELECTED | LVIS_FOCUSED;
  SendMessageW(list, LVM_SETITEMSTATE, static_cast<WPARAM>(rowOf(list, name)), reinterpret_cast<LPARAM>(&item));
  SendMessageW(list, WM_KEYDOWN, VK_DELETE, 0);
}

// What a column click on the list tells its window.
void clickColumn(HWND review, int column) {
  NMLISTVIEW click{};
  click.hdr.hwndFrom = GetDlgItem(review, ReviewWindow::kListId);
  click.hdr.idFrom = ReviewWindow::kListId;
  click.hdr.code = LVN_COLUMNCLICK;
  click.iItem = -1;
  click.iSubItem = column;
  SendMessageW(review, WM_NOTIFY, ReviewWindow::kListId, reinterpret_cast<LPARAM>(&click));
}

void click(HWND window, int id) { SendMessageW(GetDlgItem(window, id), BM_CLICK, 0, 0); }

// A message box as "caption: text", its text the longest of its static texts.
std::wstring readBox(HWND box) {
  wchar_t text[512];
  GetWindowTextW(box, text, 512);
  std::wstring caption = text, longest;
  for (HWND child = GetWindow(box, GW_CHILD); child; child = GetWindow(child, GW_HWNDNEXT)) {
    wchar_t kind[32];
    GetClassNameW(child, kind, 32);
    if (lstrcmpiW(kind, L"Static") == 0 && GetWindowTextW(child, text, 512) > static_cast<int>(longest.size()))
      longest = text;
  }
  return caption + L": " + longest;
}

class Win32WindowsTest : public ::testing::Test {
 protected:
  void SetUp() override {
    const char* display = std::getenv("DISPLAY");
    if (!display || !*display) GTEST_SKIP() << "no display for the windows";
    clean();
    for (const auto& key : kFamilyKeys) setKey(key, key);
    setKey(kFamilyKeys[3] + L"\\InprocServer32", L"C:\\Program Files\\Sonnet\\m9qCtl1.ocx");
    setKey(kUnrelatedKey, L"unrelated");
    // This computer's registry, read as a start reads it: behind the window.
    m_chooser = std::make_unique<app::MachineChooser>(
        std::vector<fs::path>{fs::path()}, [](const fs::path& path) { return registry::openMachine(path); });
    m_session = std::make_unique<Win32Session>(*m_chooser);
    m_session->windows().setOperator([this](HWND shown) { answer(shown); });
    m_session->show();
    m_main = m_session->mainWindow().handle();
    ASSERT_TRUE(IsWindowVisible(m_main));
    waitForTheMachine();
    ASSERT_TRUE(m_chooser->machine()) << m_chooser->error();
  }
  void TearDown() override {
    m_session.reset();
    m_chooser.reset();
    clean();
  }
  // The window's own timer takes the machine once it is read.
  void waitForTheMachine() {
    MSG msg;
    while (m_chooser->reading() && GetMessageW(&msg, nullptr, 0, 0) > 0) {
      TranslateMessage(&msg);
      DispatchMessageW(&msg);
    }
  }
  void chooseInTheList(int index) {
    HWND list = GetDlgItem(m_main, MainWindow::kMachineListId);
    SendMessageW(list, CB_SETCURSEL, static_cast<WPARAM>(index), 0);
    SendMessageW(m_main, WM_COMMAND, MAKEWPARAM(MainWindow::kMachineListId, CBN_SELCHANGE),
                 reinterpret_cast<LPARAM>(list));
    waitForTheMachine();
  }
  static std::vector<fs::path> backups() {
    std::vector<fs::path> found;
    for (const auto& entry : fs::directory_iterator("C:\\"))
      if (entry.path().filename().string().rfind("9QReg-", 0) == 0) found.push_back(entry.path());
    return found;
  }
  // No seeds, no log and no backup from an earlier run.
  static void clean() {
    for (const auto& key : kFamilyKeys) RegDeleteTreeW(HKEY_LOCAL_MACHINE, (kClasses + key).c_str());
    RegDeleteTreeW(HKEY_LOCAL_MACHINE, (std::wstring(kClasses) + kUnrelatedKey).c_str());
    std::error_code ec;
    fs::remove("C:\\9QReg.log", ec);
    for (const auto& file : backups()) fs::remove(file, ec);
  }

  // The operator: the review window gets m_review's script, message boxes
  // are read and closed with OK.
  void answer(HWND shown) {
    wchar_t kind[64];
    GetClassNameW(shown, kind, 64);
    if (lstrcmpW(kind, L"#32770") == 0) {
      m_boxes.push_back(readBox(shown));
      m_boxOverReview.push_back(m_reviewWindow && GetWindow(shown, GW_OWNER) == m_reviewWindow &&
                                IsWindowVisible(m_reviewWindow));
      PostMessageW(shown, WM_COMMAND, IDOK, 0);
    } else if (GetDlgItem(shown, ReviewWindow::kListId) && m_review) {
      m_reviewWindow = shown;
      m_review(shown);
    }
  }

  void tickM9qAndStart() {
    click(m_main, MainWindow::kFirstBoxId + static_cast<int>(families::Box::m9q));
    click(m_main, MainWindow::kAutomaticId);
  }

  std::unique_ptr<app::MachineChooser> m_chooser;
  std::unique_ptr<Win32Session> m_session;
  HWND m_main = nullptr;
  std::function<void(HWND)> m_review;
  std::vector<std::wstring> m_boxes;
  HWND m_reviewWindow = nullptr;
  std::vector<bool> m_boxOverReview;  // each box's, owned by the review window still shown
};

TEST_F(Win32WindowsTest, RemoveTakesExactlyTheUnstruckKeysAfterABackup) {
  std::wstring selectedAfterSort;
  m_review = [&](HWND review) {
    HWND list = GetDlgItem(review, ReviewWindow::kListId);
    strike(list, L"m9q.Chart");
    // The sort moves the entries; the selection stays on the struck one,
    // and Del strikes what is shown selected.
    clickColumn(review, 0);
    selectedAfterSort = itemText(list, static_cast<int>(SendMessageW(list, LVM_GETNEXTITEM, -1, LVNI_SELECTED)));
    strike(list, L"m9q.Grid");
    click(review, ReviewWindow::kRemoveId);
  };
  tickM9qAndStart();

  EXPECT_TRUE(m_session->ended());
  EXPECT_EQ(m_session->exitStatus(), 0);
  EXPECT_EQ(selectedAfterSort, L"m9q.Chart");
  EXPECT_EQ(m_boxes, std::vector<std::wstring>{L"Registry Cleaner: 2 / 4 keys have been removed in your registry."});
  EXPECT_EQ(m_boxOverReview, std::vector<bool>{true});  // the review window closes after the box
  EXPECT_FALSE(IsWindow(m_reviewWindow));
  std::vector<bool> present;
  for (const auto& key : {L"m9q.Chart", L"m9q.Grid", L"M9Q.Document", kFamilyKeys[3].c_str(), kUnrelatedKey})
    present.push_back(keyExists(key));
  EXPECT_EQ(present, (std::vector<bool>{true, true, false, false, true}));
  // The session gives the removal its backup.
  EXPECT_EQ(backups().size(), 1u);
}

// The ways out of the review window that remove nothing; Enter is not one
// of them, whatever has the focus. A removal would end in its closing
// message, so the messages alone tell.
TEST_F(Win32WindowsTest, CancelEnterAndTheCloseBoxRemoveNothing) {
  struct Case {
    const char* name;
    std::function<void(HWND review)> leave;
    std::vector<std::wstring> messages;
  };
  const std::vector<Case> cases = {
      {"Cancel", [](HWND review) { click(review, ReviewWindow::kCancelId); },
       {L"Registry Cleaner: 0 keys have been deleted in your registry."}},
      {"Enter on Remove, then the close box",
       [](HWND review) {
         HWND remove = GetDlgItem(review, ReviewWindow::kRemoveId);
         SetFocus(remove);
         PostMessageW(remove, WM_KEYDOWN, VK_RETURN, 0);
         PostMessageW(GetDlgItem(review, ReviewWindow::kListId), WM_KEYDOWN, VK_RETURN, 0);
         PostMessageW(review, WM_CLOSE, 0, 0);
       },
       {}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    TearDown();
    SetUp();
    m_review = c.leave;
    tickM9qAndStart();
    EXPECT_TRUE(m_session->ended());
    EXPECT_EQ(m_boxes, c.messages);
    m_boxes.clear();
  }
}

TEST_F(Win32WindowsTest, AFailedRemoteConnectionIsReportedAndTheMainWindowStays) {
  click(m_main, MainWindow::kRemoteId);
  HWND name = GetDlgItem(m_main, MainWindow::kRemoteNameId);
  ASSERT_TRUE(IsWindowVisible(name));
  SetWindowTextW(name, L"nosuchhost");
  tickM9qAndStart();

  EXPECT_EQ(m_boxes, std::vector<std::wstring>{L"Registry Cleaner: Unable to connect to the remote machine nosuchhost."});
  EXPECT_FALSE(m_session->ended());
  EXPECT_TRUE(IsWindowVisible(m_main));

  click(m_main, MainWindow::kCancelId);
  EXPECT_TRUE(m_session->ended());
}

// The line under the left column names the machine and offers others: one
// that cannot be opened says why in a box and the window stays; a .reg
// export chosen there is the one a run then cleans, this computer's
// registry untouched.
TEST_F(Win32WindowsTest, TheMachineIsChosenInTheMainWindow) {
  HWND line = GetDlgItem(m_main, MainWindow::kMachineLineId);
  HWND list = GetDlgItem(m_main, MainWindow::kMachineListId);
  EXPECT_EQ(windowText(line), "Local machine: this computer's registry");
  EXPECT_EQ(SendMessageW(list, CB_GETCOUNT, 0, 0), 1);
  const fs::path dir = fs::temp_directory_path() / "comsweep-chooser-test";
  fs::remove_all(dir);
  fs::create_directories(dir);
  const fs::path exported = dir / "export.reg";
  std::ofstream(exported, std::ios::binary) << "REGEDIT4\r\n\r\n[HKEY_CLASSES_ROOT\\m9q.Exported]\r\n@=\"x\"\r\n\r\n";
  m_chooser->choose(dir / "absent.reg");  // as the file dialog would
  m_chooser->choose(exported);
  m_chooser->waitForReading();
  SendMessageW(m_main, WM_TIMER, MainWindow::kReadingTimerId, 0);  // the line follows
  m_boxes.clear();

  EXPECT_EQ(SendMessageW(list, CB_GETCOUNT, 0, 0), 3);
  chooseInTheList(1);  // absent.reg
  ASSERT_EQ(m_boxes.size(), 1u);
  EXPECT_NE(m_boxes[0].find(L"Registry Cleaner: "), std::wstring::npos);
  EXPECT_NE(m_boxes[0].find(L"absent.reg: no such file"), std::wstring::npos) << m_boxes[0];
  EXPECT_EQ(windowText(line), "Local machine: cannot be opened");
  tickM9qAndStart();  // says why again
  EXPECT_EQ(m_boxes.size(), 2u);
  EXPECT_FALSE(m_session->ended());
  EXPECT_TRUE(IsWindowVisible(m_main));

  chooseInTheList(2);
  EXPECT_EQ(windowText(line), "Local machine: .reg file");
  click(m_main, MainWindow::kReviewFirstId);
  click(m_main, MainWindow::kAutomaticId);
  EXPECT_TRUE(m_session->ended());
  ASSERT_EQ(m_boxes.size(), 3u);
  EXPECT_EQ(m_boxes[2], L"Registry Cleaner: 1 / 1 keys have been removed in your registry.");
  EXPECT_TRUE(keyExists(L"m9q.Grid"));  // this computer's keys stay
  EXPECT_TRUE(fs::exists(dir / "9QReg.log"));
  fs::remove_all(dir);
}

}  // namespace
}  // namespace comsweep::win32
