// This computer's registry (under Wine: the test prefix) through the engine's
// 8-bit interface: keys are made below keys of the test's own in the
// machine's and the user's classes with the "W" calls, then found, read,
// composed and removed the way a run does, and read back for the backup.

#include <gtest/gtest.h>

#include <map>
#include <memory>
#include <string>

#include "registry/Wrappers.h"
#include "registry/layered/LayeredStore.h"
#include "registry/native/LiveRegistry.h"
#include "registry/native/NativeStore.h"
#include "registry/native/NativeText.h"

namespace comsweep::registry {
namespace {

using comsweep_native::kCurrentUser;
using comsweep_native::kLocalMachine;
using native::kSuccess;
constexpr HKEY kRoot = native::kClassesRoot;

// A name outside every ANSI code page, with a character outside the BMP.
const std::wstring kWideName = L"Kl\x044E\x0447 \x2603 \xD834\xDD1E";
const std::string kUtf8Name = "Kl\xD1\x8E\xD1\x87 \xE2\x98\x83 \xF0\x9D\x84\x9E";

::HKEY create(::HKEY top, const std::wstring& path) {
  ::HKEY key = nullptr;
  EXPECT_EQ(::RegCreateKeyExW(top, path.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS | KEY_WOW64_64KEY,
                              nullptr, &key, nullptr),
            kSuccess);
  return key;
}
void setValue(::HKEY key, const wchar_t* name, ::DWORD type, const std::string& data) {
  ASSERT_EQ(::RegSetValueExW(key, name, 0, type, reinterpret_cast<const ::BYTE*>(data.data()),
                             static_cast<::DWORD>(data.size())),
            kSuccess);
}
bool exists(::HKEY top, const std::wstring& path) {
  ::HKEY key = nullptr;
  if (::RegOpenKeyExW(top, path.c_str(), 0, KEY_READ | KEY_WOW64_64KEY, &key) != kSuccess)
    return false;
  ::RegCloseKey(key);
  return true;
}

class LiveRegistryTest : public ::testing::Test {
 protected:
  void SetUp() override {
    // A key of each test's own: CTest runs them side by side.
    const std::string own = std::string("comsweep-native-test-") +
                            ::testing::UnitTest::GetInstance()->current_test_info()->name();
    m_keyBelowRoot = own;
    m_testKey = L"Software\\Classes\\" + std::wstring(own.begin(), own.end());
    TearDown();
    ::HKEY key = create(kLocalMachine, m_testKey + L"\\" + kWideName);
    std::wstring text = L"\x0437\x043D\x0430\x0447\x0435\x043D\x0438\x0435";  // "значение"
    setValue(key, L"", REG_SZ, std::string(reinterpret_cast<const char*>(text.c_str()),
                                           (text.size() + 1) * 2));
    setValue(key, L"odd", REG_SZ, std::string("A\0\0\0B", 5));
    setValue(key, L"multi", REG_MULTI_SZ, std::string("a\0\0\0b\0\0\0\0\0", 10));
    setValue(key, L"bytes", REG_BINARY, std::string("\x01\x00\xFF", 3));
    setValue(key, L"\x0418\x043C\x044F", 0xFFFF0007u, std::string("\x00\x01", 2));
    ::RegCloseKey(key);
    ::RegCloseKey(create(kLocalMachine, m_testKey + L"\\" + kWideName + L"\\sub"));
  }
  void TearDown() override {
    ::RegDeleteTreeW(kLocalMachine, m_testKey.c_str());
    ::RegDeleteTreeW(kCurrentUser, m_testKey.c_str());
  }

  std::wstring m_testKey;
  std::string m_keyBelowRoot;
  NativeStore m_machine{kLocalMachine, "Software\\Classes"};
  LiveRegistry m_api{m_machine, {}};
};

TEST_F(LiveRegistryTest, NamesAndTextAreUtf8AndKeysGoAsOnEveryStore) {
  HKEY parent = 0, key = 0;
  ASSERT_TRUE(OpenKey(m_api, kRoot, m_keyBelowRoot, parent));
  std::string name;
  ASSERT_EQ(EnumKey(m_api, parent, 0, name), kSuccess);
  EXPECT_EQ(name, kUtf8Name);
  EXPECT_EQ(EnumKey(m_api, parent, 1, name), ERROR_NO_MORE_ITEMS);
  EXPECT_EQ(m_api.RegEnumKeyA(parent, 0, nullptr, 0), ERROR_MORE_DATA);

  ASSERT_TRUE(OpenKey(m_api, parent, kUtf8Name, key));
  std::string value;
  ASSERT_TRUE(QueryStringValue(m_api, key, "", value));
  EXPECT_EQ(value, "\xD0\xB7\xD0\xBD\xD0\xB0\xD1\x87\xD0\xB5\xD0\xBD\xD0\xB8\xD0\xB5");

  EXPECT_EQ(m_api.RegDeleteKeyA(parent, kUtf8Name.c_str()), ERROR_ACCESS_DENIED);  // has a subkey
  EXPECT_EQ(m_api.RegDeleteKeyA(key, "sub"), kSuccess);
  EXPECT_FALSE(exists(kLocalMachine, m_testKey + L"\\" + kWideName + L"\\sub"));
  EXPECT_EQ(m_api.RegDeleteKeyA(key, "sub"), ERROR_FILE_NOT_FOUND);
  EXPECT_EQ(m_api.RegCloseKey(key), kSuccess);
  EXPECT_EQ(m_api.RegDeleteKeyA(parent, kUtf8Name.c_str()), kSuccess);
  EXPECT_FALSE(exists(kLocalMachine, m_testKey + L"\\" + kWideName));
  EXPECT_EQ(m_api.RegEnumKeyA(parent, 0, nullptr, 0), ERROR_NO_MORE_ITEMS);
  EXPECT_EQ(m_api.RegCloseKey(parent), kSuccess);
  HKEY again = 0;
  EXPECT_TRUE(OpenKey(m_api, kRoot, m_keyBelowRoot, again));
}

TEST_F(LiveRegistryTest, TheBackupReadsEveryValueExactly) {
  NodeId parent = m_machine.findChild(m_machine.root(), m_keyBelowRoot);
  ASSERT_NE(parent, kNoNode);
  ASSERT_EQ(m_machine.childCount(parent), 1u);
  NodeId key = m_machine.childAt(parent, 0);
  EXPECT_EQ(m_machine.name(key), kUtf8Name);
  std::vector<NamedValue> values;
  ASSERT_TRUE(m_machine.values(key, values));
  std::map<std::string, RegValue> byName;
  for (const NamedValue& v : values) byName[v.name] = v.value;
  ASSERT_EQ(byName.size(), 5u);
  EXPECT_EQ(byName["odd"].type, REG_SZ);
  EXPECT_EQ(byName["odd"].data, std::string("A\0\0\0B", 5));
  EXPECT_EQ(byName["multi"].data, std::string("a\0\0\0b\0\0\0\0\0", 10));
  EXPECT_EQ(byName["bytes"].data, std::string("\x01\x00\xFF", 3));
  EXPECT_EQ(byName["\xD0\x98\xD0\xBC\xD1\x8F"].type, 0xFFFF0007u);
  EXPECT_EQ(byName[""].data.size(), 18u);
  ASSERT_EQ(m_machine.childCount(key), 1u);
  EXPECT_EQ(m_machine.name(m_machine.childAt(key, 0)), "sub");
}

// The user's classes over the machine's, as a run on this computer sees
// them; the store holds few keys open however many it has named.
TEST_F(LiveRegistryTest, UserClassesLieOverTheMachineClasses) {
  for (const wchar_t* name : {L"\\both", L"\\user only"}) {
    ::HKEY key = create(kCurrentUser, m_testKey + name);
    setValue(key, L"", REG_SZ, std::string("u\0\0", 4));
    ::RegCloseKey(key);
  }
  ::RegCloseKey(create(kLocalMachine, m_testKey + L"\\both"));
  ::RegCloseKey(create(kLocalMachine, m_testKey + L"\\both\\machine only"));
  auto user = std::make_unique<NativeStore>(kCurrentUser, "Software\\Classes", 2);
  auto machine = std::make_unique<NativeStore>(kLocalMachine, "Software\\Classes", 2);
  const NativeStore& userStore = *user;
  const NativeStore& machineStore = *machine;
  ASSERT_TRUE(user->rootOpens());
  LayeredStore classes(std::move(user), std::move(machine));
  LiveRegistry api(classes, {});

  HKEY parent = 0, both = 0;
  ASSERT_TRUE(OpenKey(api, kRoot, m_keyBelowRoot, parent));
  std::vector<std::string> names;
  std::string name;
  for (DWORD i = 0; EnumKey(api, parent, i, name) == kSuccess; ++i) names.push_back(name);
  EXPECT_EQ(names, (std::vector<std::string>{"both", kUtf8Name, "user only"}));
  ASSERT_TRUE(OpenKey(api, parent, "both", both));
  std::string value;
  ASSERT_TRUE(QueryStringValue(api, both, "", value));
  EXPECT_EQ(value, "u");
  EXPECT_LE(userStore.openKeys(), 4u);
  EXPECT_LE(machineStore.openKeys(), 4u);

  EXPECT_EQ(api.RegDeleteKeyA(both, "machine only"), kSuccess);
  EXPECT_EQ(api.RegDeleteKeyA(parent, "both"), kSuccess);
  EXPECT_EQ(api.RegDeleteKeyA(parent, "user only"), kSuccess);
  EXPECT_FALSE(exists(kCurrentUser, m_testKey + L"\\both"));
  EXPECT_FALSE(exists(kLocalMachine, m_testKey + L"\\both"));
  EXPECT_FALSE(exists(kCurrentUser, m_testKey + L"\\user only"));
  EXPECT_TRUE(exists(kLocalMachine, m_testKey + L"\\" + kWideName));
}

// A machine that answers (here the user's classes stand in for it): its keys
// are the ones read and removed, and whoever writes the backup is told
// which store holds them, until the run is back on this computer.
TEST_F(LiveRegistryTest, AConnectedMachineIsTheOneWorkedOnAndBackedUp) {
  ::RegCloseKey(create(kCurrentUser, m_testKey + L"\\remote"));
  const Store* told = &m_machine;
  std::string asked;
  LiveRegistry api(
      m_machine, [&](const Store* remote) { told = remote; },
      [&](const std::string& machine, std::unique_ptr<Store>& classes) {
        asked = machine;
        classes = std::make_unique<NativeStore>(kCurrentUser, "Software\\Classes");
        return kSuccess;
      });
  HKEY root = 0, parent = 0;
  // Wine answers every named machine with 53, as Windows does one it cannot reach.
  EXPECT_EQ(m_api.RegConnectRegistryA("comsweep-no-such-machine", kRoot, &root), ERROR_BAD_NETPATH);
  ASSERT_EQ(api.RegConnectRegistryA("host", kRoot, &root), kSuccess);
  EXPECT_EQ(asked, "host");
  ASSERT_NE(told, nullptr);
  EXPECT_NE(told, &m_machine);
  EXPECT_NE(root, kRoot);
  ASSERT_TRUE(OpenKey(api, root, m_keyBelowRoot, parent));
  std::string name;
  ASSERT_EQ(EnumKey(api, parent, 0, name), kSuccess);
  EXPECT_EQ(name, "remote");
  EXPECT_EQ(api.RegDeleteKeyA(parent, "remote"), kSuccess);
  EXPECT_FALSE(exists(kCurrentUser, m_testKey + L"\\remote"));
  EXPECT_TRUE(exists(kLocalMachine, m_testKey + L"\\" + kWideName));

  ASSERT_EQ(api.RegConnectRegistryA("", kRoot, &root), kSuccess);
  EXPECT_EQ(told, nullptr);
  EXPECT_EQ(root, kRoot);
  EXPECT_EQ(api.RegEnumKeyA(parent, 0, nullptr, 0), ERROR_INVALID_HANDLE);  // that machine's handle
}

}  // namespace
}  // namespace comsweep::registry
