// Keys and values added to this computer's registry (under Wine: the test
// prefix) as an undo adds them, read back both through the store and
// through the registry's own calls, which must agree byte for byte.

#include <gtest/gtest.h>

#include <initializer_list>
#include <string>
#include <string_view>
#include <vector>

#include "registry/native/NativeStore.h"
#include "registry/native/NativeText.h"

namespace comsweep::registry {
namespace {

using comsweep_native::kCurrentUser;
using native::kSuccess;
const std::wstring kTestKey = L"Software\\Classes\\comsweep-native-adding-test";

std::string bytes(std::initializer_list<int> list) {
  std::string out;
  for (int b : list) out += static_cast<char>(b);
  return out;
}

// The value as the registry's own call reads it, or status and nothing.
LONG readBack(const std::wstring& path, const std::wstring& name, DWORD& type, std::string& data) {
  ::HKEY key = nullptr;
  LONG status = ::RegOpenKeyExW(kCurrentUser, path.c_str(), 0, KEY_READ | KEY_WOW64_64KEY, &key);
  if (status != kSuccess) return status;
  ::DWORD size = 0, t = 0;
  status = ::RegQueryValueExW(key, name.c_str(), nullptr, &t, nullptr, &size);
  data.assign(size, '\0');
  if (status == kSuccess)
    status = ::RegQueryValueExW(key, name.c_str(), nullptr, &t, reinterpret_cast<::BYTE*>(data.data()), &size);
  data.resize(size);
  type = t;
  ::RegCloseKey(key);
  return status;
}

TEST(NativeStoreAdding, KeysKeepTheirSpellingAndValuesTheirBytes) {
  ::RegDeleteTreeW(kCurrentUser, kTestKey.c_str());
  ::HKEY made = nullptr;
  ASSERT_EQ(::RegCreateKeyExW(kCurrentUser, (kTestKey + L"\\Existing").c_str(), 0, nullptr, 0,
                              KEY_ALL_ACCESS | KEY_WOW64_64KEY, nullptr, &made, nullptr),
            kSuccess);
  ::RegCloseKey(made);
  NativeStore store(kCurrentUser, "Software\\Classes\\comsweep-native-adding-test");
  ASSERT_TRUE(store.rootOpens());

  NodeId node = kNoNode;
  bool created = true;
  EXPECT_EQ(store.createKey(store.root(), "EXISTING", node, created), kSuccess);
  EXPECT_FALSE(created);
  EXPECT_EQ(store.name(node), "Existing");

  const std::string odd = "Ключ ☃ \xF0\x9D\x84\x9E MiXeD";
  ASSERT_EQ(store.createKey(store.root(), odd, node, created), kSuccess);
  EXPECT_TRUE(created);
  EXPECT_EQ(store.name(node), odd);
  EXPECT_EQ(store.findChild(store.root(), "ключ ☃ \xF0\x9D\x84\x9E mixed"), node);

  // name, type, bytes: string types carry UTF-16LE as read, missing
  // terminators included. (Odd sizes, REG_MULTI_SZ, REG_QWORD, REG_NONE and
  // types the registry does not define go through an undo into the live
  // registry in tests/windows/wine-conformance, judged by wine reg export.)
  const std::vector<NamedValue> values = {
      {"", {REG_SZ, bytes({'A', 0, 0x3D, 0xD8, 0x1E, 0xDD, 0, 0})}},
      {"No terminator", {REG_EXPAND_SZ, bytes({'%', 0, 'X', 0})}},
      {"Dword", {REG_DWORD, bytes({0x78, 0x56, 0x34, 0x12})}},
      {"Short dword", {REG_DWORD, bytes({1, 2})}},
      {"Имя \xF0\x9D\x84\x9E", {REG_BINARY, bytes({0, 0xFF, 0})}},
  };
  for (const NamedValue& v : values) EXPECT_EQ(store.setValue(node, v), kSuccess) << v.name;
  // Replaced in place, matched without regard to case.
  EXPECT_EQ(store.setValue(node, {"dWORD", {REG_DWORD, bytes({0x78, 0x56, 0x34, 0x12})}}), kSuccess);

  const std::wstring path = kTestKey + L"\\" + native::wide(odd);
  for (const NamedValue& v : values) {
    DWORD type = 0;
    std::string data;
    ASSERT_EQ(readBack(path, native::wide(v.name), type, data), kSuccess) << v.name;
    EXPECT_EQ(type, v.value.type) << v.name;
    EXPECT_EQ(data, v.value.data) << v.name;
  }
  std::vector<NamedValue> read;
  ASSERT_TRUE(store.values(node, read));
  EXPECT_EQ(read.size(), values.size());
  RegValue unnamed;
  ASSERT_TRUE(store.defaultValue(node, unnamed));
  EXPECT_EQ(unnamed.data, values[0].value.data);

  // Names a key cannot have, and keys that are gone, change nothing.
  for (std::string_view bad : {std::string_view(""), std::string_view("a\\b"), std::string_view("a\0b", 3),
                               std::string_view("\xFF")}) {
    EXPECT_EQ(store.createKey(store.root(), bad, node, created), native::kInvalidParameter);
    EXPECT_EQ(node, kNoNode);
  }
  NodeId gone = kNoNode;
  ASSERT_EQ(store.createKey(store.root(), "Gone", gone, created), kSuccess);
  ASSERT_EQ(store.removeLeaf(store.root(), gone), kSuccess);
  EXPECT_EQ(store.setValue(gone, values[0]), ERROR_KEY_DELETED);
  EXPECT_EQ(store.createKey(gone, "below", node, created), ERROR_KEY_DELETED);
  EXPECT_EQ(store.childCount(store.root()), 2u);
  ::RegDeleteTreeW(kCurrentUser, kTestKey.c_str());
}

}  // namespace
}  // namespace comsweep::registry
