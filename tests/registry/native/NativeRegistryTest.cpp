// The pass-through to advapi32 on the registry of the machine it runs on
// (under Wine: the test prefix). Keys are made below a key of the test's own
// in HKLM\Software\Classes with the "W" calls, then read and removed through
// the engine's 8-bit interface and read back for the backup.

#include <gtest/gtest.h>

#include <map>
#include <string>

#include "app/MainForm.h"
#include "registry/Wrappers.h"
#include "registry/native/NativeKeyReader.h"
#include "registry/native/NativeRegistry.h"
#include "registry/native/NativeText.h"
#include "support/ScriptedWindowSystem.h"
#include "support/TempDir.h"

namespace comsweep::registry {
namespace {

using comsweep_native::kLocalMachine;
using native::kSuccess;
constexpr HKEY kRoot = native::kClassesRoot;

const std::wstring kTestKey = L"Software\\Classes\\comsweep-native-test";
const std::string kTestKeyBelowRoot = "comsweep-native-test";
// A name outside every ANSI code page, with a character outside the BMP.
const std::wstring kWideName = L"Kl\x044E\x0447 \x2603 \xD834\xDD1E";
const std::string kUtf8Name = "Kl\xD1\x8E\xD1\x87 \xE2\x98\x83 \xF0\x9D\x84\x9E";

class NativeRegistryTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ::RegDeleteTreeW(kLocalMachine, kTestKey.c_str());
    ::HKEY key = create(kTestKey + L"\\" + kWideName);
    std::wstring text = L"\x0437\x043D\x0430\x0447\x0435\x043D\x0438\x0435";  // "значение"
    setValue(key, L"", REG_SZ, std::string(reinterpret_cast<const char*>(text.c_str()),
                                           (text.size() + 1) * 2));
    setValue(key, L"odd", REG_SZ, std::string("A\0\0\0B", 5));
    setValue(key, L"multi", REG_MULTI_SZ, std::string("a\0\0\0b\0\0\0\0\0", 10));
    setValue(key, L"bytes", REG_BINARY, std::string("\x01\x00\xFF", 3));
    setValue(key, L"\x0418\x043C\x044F", 0xFFFF0007u, std::string("\x00\x01", 2));
    ::RegCloseKey(key);
    ::RegCloseKey(create(kTestKey + L"\\" + kWideName + L"\\sub"));
  }
  void TearDown() override { ::RegDeleteTreeW(kLocalMachine, kTestKey.c_str()); }

  static ::HKEY create(const std::wstring& path) {
    ::HKEY key = nullptr;
    EXPECT_EQ(::RegCreateKeyExW(kLocalMachine, path.c_str(), 0, nullptr, 0,
                                KEY_ALL_ACCESS | KEY_WOW64_64KEY, nullptr, &key, nullptr),
              kSuccess);
    return key;
  }
  static void setValue(::HKEY key, const wchar_t* name, ::DWORD type, const std::string& data) {
    ASSERT_EQ(::RegSetValueExW(key, name, 0, type, reinterpret_cast<const ::BYTE*>(data.data()),
                               static_cast<::DWORD>(data.size())),
              kSuccess);
  }

  NativeRegistry m_api;
};

TEST_F(NativeRegistryTest, NamesAndTextAreUtf8AndKeysGoAsOnEveryStore) {
  HKEY parent = 0, key = 0;
  ASSERT_TRUE(OpenKey(m_api, kRoot, kTestKeyBelowRoot, parent));
  std::string name;
  ASSERT_EQ(EnumKey(m_api, parent, 0, name), kSuccess);
  EXPECT_EQ(name, kUtf8Name);
  EXPECT_EQ(EnumKey(m_api, parent, 1, name), ERROR_NO_MORE_ITEMS);
  EXPECT_EQ(m_api.RegEnumKeyA(parent, 0, nullptr, 0), ERROR_MORE_DATA);

  ASSERT_TRUE(OpenKey(m_api, parent, kUtf8Name, key));
  std::string value;
  ASSERT_TRUE(QueryStringValue(m_api, key, "", value));
  EXPECT_EQ(value, "\xD0\xB7\xD0\xBD\xD0\xB0\xD1\x87\xD0\xB5\xD0\xBD\xD0\xB8\xD0\xB5");
  // Sizes count the 8-bit form: the UTF-8 text and one NUL.
  DWORD type = 0, size = 0;
  ASSERT_EQ(m_api.RegQueryValueExA(key, "odd", nullptr, &type, nullptr, &size), kSuccess);
  EXPECT_EQ(type, REG_SZ);
  EXPECT_EQ(size, 2u);  // "A" and the NUL; the odd last byte is no UTF-16 unit
  EXPECT_EQ(m_api.RegQueryValueExA(key, "missing", nullptr, &type, nullptr, &size),
            ERROR_FILE_NOT_FOUND);

  EXPECT_EQ(m_api.RegDeleteKeyA(parent, kUtf8Name.c_str()), ERROR_ACCESS_DENIED);  // has a subkey
  EXPECT_EQ(m_api.RegDeleteKeyA(key, "sub"), kSuccess);
  EXPECT_EQ(m_api.RegDeleteKeyA(key, "sub"), ERROR_FILE_NOT_FOUND);
  EXPECT_EQ(m_api.RegCloseKey(key), kSuccess);
  EXPECT_EQ(m_api.RegCloseKey(key), ERROR_INVALID_HANDLE);
  EXPECT_EQ(m_api.RegDeleteKeyA(parent, kUtf8Name.c_str()), kSuccess);
  EXPECT_EQ(m_api.RegEnumKeyA(parent, 0, nullptr, 0), ERROR_NO_MORE_ITEMS);
  EXPECT_EQ(m_api.RegCloseKey(parent), kSuccess);
  EXPECT_EQ(m_api.RegCloseKey(kRoot), kSuccess);  // the root stays usable
  EXPECT_EQ(m_api.openHandles(), 0u);
  HKEY again = 0;
  EXPECT_TRUE(OpenKey(m_api, kRoot, kTestKeyBelowRoot, again));
}

TEST_F(NativeRegistryTest, TheBackupReadsEveryValueExactly) {
  NativeKeyReader reader;
  NodeId parent = reader.findChild(reader.root(), kTestKeyBelowRoot);
  ASSERT_NE(parent, kNoNode);
  ASSERT_EQ(reader.childCount(parent), 1u);
  NodeId key = reader.childAt(parent, 0);
  EXPECT_EQ(reader.name(key), kUtf8Name);
  std::vector<NamedValue> values;
  ASSERT_TRUE(reader.values(key, values));
  std::map<std::string, RegValue> byName;
  for (const NamedValue& v : values) byName[v.name] = v.value;
  ASSERT_EQ(byName.size(), 5u);
  EXPECT_EQ(byName["odd"].type, REG_SZ);
  EXPECT_EQ(byName["odd"].data, std::string("A\0\0\0B", 5));
  EXPECT_EQ(byName["multi"].data, std::string("a\0\0\0b\0\0\0\0\0", 10));
  EXPECT_EQ(byName["bytes"].data, std::string("\x01\x00\xFF", 3));
  EXPECT_EQ(byName["\xD0\x98\xD0\xBC\xD1\x8F"].type, 0xFFFF0007u);
  EXPECT_EQ(byName[""].data.size(), 18u);
  ASSERT_EQ(reader.childCount(key), 1u);
  EXPECT_EQ(reader.name(reader.childAt(key, 0)), "sub");
}

// Wine answers a named machine with 53, as Windows does for one it cannot
// reach: the main window then says so and waits, as on Linux.
TEST(NativeRemoteMachine, AFailedConnectionIsReportedAndTheWindowWaits) {
  NativeRegistry api;
  HKEY root = 0;
  EXPECT_EQ(api.RegConnectRegistryA("comsweep-no-such-machine", kRoot, &root), ERROR_BAD_NETPATH);
  EXPECT_EQ(api.RegConnectRegistryA("", kRoot, &root), kSuccess);
  EXPECT_EQ(root, kRoot);

  test::TempDir dir;
  test::ScriptedWindowSystem windows;
  app::MainForm form(api, windows, dir / "9QReg.log", [] { return std::string("DATE"); });
  form.load("");
  form.selection()[families::Box::m9q] = 1;
  form.selection().useRemoteMachine = 1;
  form.remoteMachineClicked();
  form.selection().remoteMachineName = "comsweep-no-such-machine";
  form.continueClicked();
  EXPECT_EQ(windows.messages,
            (std::vector<std::string>{"Unable to connect to the remote machine comsweep-no-such-machine."}));
  EXPECT_FALSE(form.ended());
}

}  // namespace
}  // namespace comsweep::registry
