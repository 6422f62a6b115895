#pragma once
// The contract every store answers, as a typed suite. A store's test file
// supplies a traits type with
//   static StoreUnderTest make(const std::vector<ContractKey>& keys);
// that builds a store of its kind holding exactly those keys (parents are
// implied), and instantiates the suite:
//   INSTANTIATE_TYPED_TEST_SUITE_P(Wine, StoreContract, WineTraits);

#include <gtest/gtest.h>

#include <cstring>
#include <filesystem>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "machine/Machine.h"
#include "registry/handles/HandleTable.h"
#include "registry/memory/MemoryStore.h"
#include "registry/store/Store.h"
#include "registry/store/Text.h"
#include "registry/api/Wrappers.h"
#include "support/TempDir.h"

namespace comsweep::test {

struct ContractKey {
  std::string path;  // below HKEY_CLASSES_ROOT, backslash-separated
  std::optional<registry::RegValue> defaultValue;
};

struct StoreUnderTest {
  std::unique_ptr<registry::Store> store;
  std::shared_ptr<void> keepAlive;  // files the store reads from, if any
};

inline registry::RegValue sz(std::string_view utf8, registry::DWORD type = registry::REG_SZ) {
  return {type, registry::utf8ToUtf16le(utf8) + std::string(2, '\0')};
}

// The store of the machine that the file `name` is, in a directory of its
// own, once `write` has written it there.
inline StoreUnderTest machineFile(const char* name, const std::function<void(const std::filesystem::path&)>& write) {
  auto dir = std::make_shared<TempDir>();
  write(*dir / name);
  registry::MachineOpenResult opened = registry::openMachine(*dir / name);
  EXPECT_TRUE(opened.machine) << opened.failure.why;
  return {opened.machine ? std::move(opened.machine->store) : nullptr, dir};
}

// Adds `key`, and the parents it implies, to a memory store.
inline void addKey(registry::MemoryStore& store, const ContractKey& key) {
  const registry::NodeId node = store.addPath(key.path);
  if (key.defaultValue) store.setDefaultValue(node, *key.defaultValue);
}

// The fixture machine of the contract.
// `n` times a CJK character of three UTF-8 bytes.
inline std::string longName(int n) {
  std::string name;
  for (int i = 0; i < n; ++i) name += "\xE6\xBC\xA2";
  return name;
}

inline std::vector<ContractKey> contractKeys() {
  return {
      {"b", std::nullopt}, {"A", sz("first")}, {"_x", std::nullopt}, {"a1", std::nullopt}, {"Z", std::nullopt},
      {"CLSID\\{00000000-0000-0000-0000-000000000001}", sz("Some Class")},
      {"CLSID\\{00000000-0000-0000-0000-000000000001}\\InprocServer32", sz("C:\\x\\m9q.dll")},
      {"CLSID\\{00000000-0000-0000-0000-000000000002}", sz("")}, {"Values\\Empty", sz("")},
      {"Values\\Expand", sz("%SystemRoot%\\x.dll", registry::REG_EXPAND_SZ)},
      {"Values\\Embedded", sz(std::string("abc\0def", 7))},
      {"Values\\Dword", registry::RegValue{registry::REG_DWORD, std::string("\x01\x00\x00\x00", 4)}},
      {"Values\\Umlaut\xC3\xA4", sz("\xC3\xA4rger")},
      // 299 and 300 bytes of UTF-8 in names of 101 and 100 characters: no
      // registry holds a key name of more than 255.
      {"Long\\" + longName(99) + "nn", std::nullopt}, {"Long\\" + longName(100), std::nullopt},
  };
}

template <typename Traits>
class StoreContract : public ::testing::Test {
 protected:
  void SetUp() override {
    m_sut = Traits::make(contractKeys());
    ASSERT_TRUE(m_sut.store);
    m_api = std::make_unique<registry::HandleTable>(*m_sut.store);
  }

  registry::HKEY open(const std::string& path) {
    registry::HKEY h = 0;
    EXPECT_EQ(m_api->RegOpenKeyA(registry::HKEY_CLASSES_ROOT, path.c_str(), &h), 0) << path;
    return h;
  }

  // The subkeys' names, each followed by "|"; "" opens the key itself.
  std::string childrenOf(const std::string& path) {
    registry::HKEY h = open(path);
    std::string names, name;
    for (registry::DWORD i = 0; registry::EnumKey(*m_api, h, i, name) == 0; ++i) names += name + "|";
    m_api->RegCloseKey(h);
    return names;
  }

  // The default value through the ANSI API: "status type size|text", the
  // text as QueryStringValue reads it, or "-" when it refuses and leaves it.
  std::string ansiDefault(const std::string& path) {
    registry::HKEY h = open(path);
    registry::DWORD type = 0, size = 0;
    registry::LONG status = m_api->RegQueryValueExA(h, "", nullptr, &type, nullptr, &size);
    std::string text = "-";
    bool read = registry::QueryStringValue(*m_api, h, "", text);
    m_api->RegCloseKey(h);
    return std::to_string(status) + " " + std::to_string(type) + " " + std::to_string(size) + "|" +
           (read || text != "-" ? "read:" + text : text);
  }

  StoreUnderTest m_sut;
  std::unique_ptr<registry::HandleTable> m_api;
};

TYPED_TEST_SUITE_P(StoreContract);

TYPED_TEST_P(StoreContract, EnumeratesSortedByUpperCasedNamesAsStored) {
  // '_' sorts after the upper-case letters, and names come back as stored.
  EXPECT_EQ(this->childrenOf(""), "A|a1|b|CLSID|Long|Values|Z|_x|");
  EXPECT_EQ(this->childrenOf("values"), "Dword|Embedded|Empty|Expand|Umlaut\xC3\xA4|");
  // The end of the list, and names too long for the caller's buffer.
  using namespace registry;
  HKEY h = this->open("Long");
  char buffer[300];
  std::memset(buffer, 'x', sizeof buffer);
  EXPECT_EQ(this->m_api->RegEnumKeyA(h, 0, buffer, 300), 0);  // 299 bytes and the NUL
  EXPECT_EQ(std::strlen(buffer), 299u);
  EXPECT_EQ(this->m_api->RegEnumKeyA(h, 1, buffer, 300), ERROR_MORE_DATA);  // 300 do not fit
  EXPECT_EQ(this->m_api->RegEnumKeyA(h, 2, buffer, 300), ERROR_NO_MORE_ITEMS);
  // The wrapper's buffer holds any legal name, and blanks it at the end.
  EXPECT_EQ(this->childrenOf("Long"), longName(99) + "nn|" + longName(100) + "|");
  std::string name = "before";
  EXPECT_EQ(EnumKey(*this->m_api, h, 2, name), ERROR_NO_MORE_ITEMS);
  EXPECT_EQ(name, std::string(300, ' '));
  this->m_api->RegCloseKey(h);
}

TYPED_TEST_P(StoreContract, ReadsTheDefaultValueLikeTheAnsiApi) {
  using namespace registry;
  // Sizes count the UTF-8 text and its NUL; only REG_SZ is read as text.
  // Paths are opened without regard to case.
  const std::pair<const char*, std::string> cases[] = {
      {"Values\\Empty", "0 1 1|read:"},
      {"A", "0 1 6|read:first"},
      {"Values\\Embedded", "0 1 8|read:abc"},
      {"VALUES\\UMLAUT\xC3\x84", "0 1 7|read:\xC3\xA4rger"},
      {"clsid\\{00000000-0000-0000-0000-000000000001}\\INPROCSERVER32", "0 1 13|read:C:\\x\\m9q.dll"},
      {"Values\\Expand", "0 2 19|-"},
      {"Values\\Dword", "0 4 4|-"},
      {"b", "2 0 0|-"},
  };
  for (const auto& [path, expected] : cases) EXPECT_EQ(this->ansiDefault(path), expected) << path;
  HKEY h = this->open("A");
  BYTE small[3];
  DWORD type = 0, size = sizeof small;
  EXPECT_EQ(this->m_api->RegQueryValueExA(h, "", nullptr, &type, small, &size), ERROR_MORE_DATA);
  EXPECT_EQ(size, 6u);
  this->m_api->RegCloseKey(h);
}

TYPED_TEST_P(StoreContract, DeletesOnlyKeysWithoutSubkeys) {
  using namespace registry;
  const std::string cls = "CLSID\\{00000000-0000-0000-0000-000000000001}";
  EXPECT_EQ(this->m_api->RegDeleteKeyA(HKEY_CLASSES_ROOT, cls.c_str()), ERROR_ACCESS_DENIED);
  EXPECT_EQ(this->m_api->RegDeleteKeyA(HKEY_CLASSES_ROOT, "CLSID\\nothing"), ERROR_FILE_NOT_FOUND);

  HKEY held = this->open(cls + "\\InprocServer32"), clsKey = this->open(cls);
  EXPECT_EQ(this->m_api->RegDeleteKeyA(clsKey, "inprocserver32"), 0);
  // A handle to a removed key answers "marked for deletion".
  char buffer[300];
  DWORD type, size;
  EXPECT_EQ(this->m_api->RegEnumKeyA(held, 0, buffer, 300), ERROR_KEY_DELETED);
  EXPECT_EQ(this->m_api->RegQueryValueExA(held, "", nullptr, &type, nullptr, &size), ERROR_KEY_DELETED);
  this->m_api->RegCloseKey(held);

  EXPECT_EQ(this->m_api->RegDeleteKeyA(HKEY_CLASSES_ROOT, cls.c_str()), 0);
  EXPECT_EQ(this->m_api->RegEnumKeyA(clsKey, 0, buffer, 300), ERROR_KEY_DELETED);
  this->m_api->RegCloseKey(clsKey);
  EXPECT_EQ(this->childrenOf("CLSID"), "{00000000-0000-0000-0000-000000000002}|");
  EXPECT_EQ(this->m_api->RegOpenKeyA(HKEY_CLASSES_ROOT, cls.c_str(), &held), ERROR_FILE_NOT_FOUND);
  // A removal keeps the order of the rest.
  EXPECT_EQ(this->m_api->RegDeleteKeyA(HKEY_CLASSES_ROOT, "a1"), 0);
  EXPECT_EQ(this->m_api->RegDeleteKeyA(HKEY_CLASSES_ROOT, "_X"), 0);
  EXPECT_EQ(this->childrenOf(""), "A|b|CLSID|Long|Values|Z|");
  EXPECT_EQ(this->m_api->openHandles(), 0u);
}

// Stores that cannot add say so and are skipped.
TYPED_TEST_P(StoreContract, AddsKeysInRegistryOrderAndReplacesValuesInPlace) {
  using namespace registry;
  Store& store = *this->m_sut.store;
  NodeId made = kNoNode, again = kNoNode, sub = kNoNode;
  bool created = false;
  LONG status = store.createKey(store.root(), "aB", made, created);
  if (status == ERROR_CALL_NOT_IMPLEMENTED) GTEST_SKIP() << "this store does not add keys";
  ASSERT_EQ(status, 0);
  EXPECT_TRUE(created);
  // An existing name opens that key and keeps its spelling.
  EXPECT_EQ(store.createKey(store.root(), "AB", again, created), 0);
  EXPECT_EQ(std::pair(again, created), std::pair(made, false));
  EXPECT_EQ(this->childrenOf(""), "A|a1|aB|b|CLSID|Long|Values|Z|_x|");
  ASSERT_EQ(store.createKey(made, "\xF0\x9F\x98\x80 Sub", sub, created), 0);
  const std::vector<NamedValue> given = {
      {"", sz("first")}, {"Bin", {REG_BINARY, std::string("\0\xFF", 2)}}, {"Odd", {0x2A, ""}},
      {"bin", {REG_DWORD, std::string("\x02\0\0\0", 4)}},  // replaces "Bin" where it was
      {"", sz("")},
  };
  for (const NamedValue& value : given) EXPECT_EQ(store.setValue(sub, value), 0) << value.name;
  std::vector<NamedValue> read = {{"left over", sz("from before")}};  // replaced, not appended to
  ASSERT_TRUE(store.values(sub, read));
  std::string listed;  // names and types; the default's empty text is read through the API below
  for (const NamedValue& value : read) listed += value.name + ":" + std::to_string(value.value.type) + "|";
  EXPECT_EQ(listed, ":1|Bin:4|Odd:42|");
  EXPECT_EQ(this->ansiDefault("ab\\\xF0\x9F\x98\x80 sub"), "0 1 1|read:");
  // Under an existing key; names that are not one level are refused.
  EXPECT_EQ(store.createKey(store.findChild(store.root(), "CLSID"), "{0}", again, created), 0);
  EXPECT_EQ(this->childrenOf("CLSID"),  // "}" sorts after the digits
            "{00000000-0000-0000-0000-000000000001}|{00000000-0000-0000-0000-000000000002}|{0}|");
  for (std::string_view bad : {std::string_view(), std::string_view("a\\b"), std::string_view("a\0b", 3)})
    EXPECT_EQ(store.createKey(store.root(), bad, again, created), ERROR_INVALID_PARAMETER);
  // Names longer than the registry allows are the file's own, put back as they were.
  EXPECT_EQ(store.createKey(store.root(), std::string(300, 'n'), again, created), 0);
  // Listings read once are not kept past a change.
  EXPECT_EQ(this->childrenOf(""), "A|a1|aB|b|CLSID|Long|" + std::string(300, 'n') + "|Values|Z|_x|");
  ASSERT_EQ(store.createKey(made, "0 First", again, created), 0);
  EXPECT_EQ(this->childrenOf("ab"), "0 First|\xF0\x9F\x98\x80 Sub|");
  EXPECT_EQ(this->m_api->RegDeleteKeyA(HKEY_CLASSES_ROOT, "ab\\0 first"), 0);
  EXPECT_EQ(this->childrenOf("ab"), "\xF0\x9F\x98\x80 Sub|");
  EXPECT_EQ(this->m_api->RegDeleteKeyA(HKEY_CLASSES_ROOT, "ab\\\xF0\x9F\x98\x80 sub"), 0);
  EXPECT_EQ(store.setValue(sub, {"", sz("late")}), ERROR_KEY_DELETED);
  EXPECT_EQ(store.createKey(sub, "x", again, created), ERROR_KEY_DELETED);
}

REGISTER_TYPED_TEST_SUITE_P(StoreContract, EnumeratesSortedByUpperCasedNamesAsStored,
                            ReadsTheDefaultValueLikeTheAnsiApi, DeletesOnlyKeysWithoutSubkeys,
                            AddsKeysInRegistryOrderAndReplacesValuesInPlace);

}  // namespace comsweep::test
