// This computer's registry (under Wine: the test prefix) through the engine's
// 8-bit interface. Names, values, the user's classes over the machine's and
// the backup are the Wine conformance run's to check end to end
// (tests/windows/wine-conformance); here, what it cannot reach: a remote
// machine that answers, and the bound on open keys.

#include <gtest/gtest.h>

#include <memory>
#include <string>

#include "registry/api/Wrappers.h"
#include "registry/native/LiveRegistry.h"
#include "registry/native/NativeStore.h"
#include "registry/native/NativeText.h"

namespace comsweep::registry {
namespace {

using comsweep_native::kCurrentUser;
using comsweep_native::kLocalMachine;
using native::kSuccess;
constexpr HKEY kRoot = native::kClassesRoot;
const std::wstring kTestKey = L"Software\\Classes\\comsweep-live-registry-test";

::HKEY create(::HKEY top, const std::wstring& path) {
  ::HKEY key = nullptr;
  EXPECT_EQ(::RegCreateKeyExW(top, path.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS | KEY_WOW64_64KEY,
                              nullptr, &key, nullptr),
            kSuccess);
  return key;
}
bool exists(::HKEY top, const std::wstring& path) {
  ::HKEY key = nullptr;
  if (::RegOpenKeyExW(top, path.c_str(), 0, KEY_READ | KEY_WOW64_64KEY, &key) != kSuccess)
    return false;
  ::RegCloseKey(key);
  return true;
}

// A machine that answers (here the user's classes stand in for it): its keys
// are the ones read and removed, through a bounded number of open keys, and
// whoever writes the backup is told which store holds them, until the run is
// back on this computer. Wine answers every named machine with 53, as
// Windows does one it cannot reach.
TEST(LiveRegistry, AConnectedMachineIsTheOneWorkedOnAndBackedUp) {
  ::RegDeleteTreeW(kCurrentUser, kTestKey.c_str());
  for (const wchar_t* name : {L"\\a\\deep\\er", L"\\b", L"\\remote"})
    ::RegCloseKey(create(kCurrentUser, kTestKey + name));
  NativeStore local(kLocalMachine, "Software\\Classes");
  const Store* told = &local;
  const NativeStore* remote = nullptr;
  std::string asked;
  LiveRegistry api(
      local, [&](const Store* connected) { told = connected; },
      [&](const std::string& machine, std::unique_ptr<Store>& classes) {
        asked = machine;
        auto store = std::make_unique<NativeStore>(kCurrentUser, "Software\\Classes", 2);
        remote = store.get();
        classes = std::move(store);
        return kSuccess;
      });
  HKEY root = 0, parent = 0, deep = 0;
  EXPECT_EQ(LiveRegistry(local, {}).RegConnectRegistryA("comsweep-no-such-machine", kRoot, &root),
            ERROR_BAD_NETPATH);
  ASSERT_EQ(api.RegConnectRegistryA("host", kRoot, &root), kSuccess);
  EXPECT_EQ(asked, "host");
  ASSERT_NE(told, nullptr);
  EXPECT_EQ(told, remote);
  EXPECT_NE(root, kRoot);
  ASSERT_TRUE(OpenKey(api, root, "comsweep-live-registry-test", parent));
  std::string name, names;
  for (DWORD i = 0; EnumKey(api, parent, i, name) == kSuccess; ++i) {
    names += name + " ";
    HKEY child = 0;
    std::string value;
    EXPECT_TRUE(OpenKey(api, parent, name, child));
    EXPECT_FALSE(QueryStringValue(api, child, "", value));  // read, so opened
    api.RegCloseKey(child);
  }
  EXPECT_EQ(names, "a b remote ");
  ASSERT_TRUE(OpenKey(api, parent, "a\\deep\\er", deep));
  EXPECT_LE(remote->openKeys(), 5u);  // the root and the path of four; not every key named
  EXPECT_EQ(api.RegDeleteKeyA(parent, "remote"), kSuccess);
  EXPECT_FALSE(exists(kCurrentUser, kTestKey + L"\\remote"));
  EXPECT_TRUE(exists(kCurrentUser, kTestKey + L"\\b"));

  ASSERT_EQ(api.RegConnectRegistryA("", kRoot, &root), kSuccess);
  EXPECT_EQ(told, nullptr);
  EXPECT_EQ(root, kRoot);
  EXPECT_EQ(api.RegEnumKeyA(parent, 0, nullptr, 0), ERROR_INVALID_HANDLE);  // that machine's handle
  ::RegDeleteTreeW(kCurrentUser, kTestKey.c_str());
}

}  // namespace
}  // namespace comsweep::registry
