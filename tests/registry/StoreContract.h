#pragma once
// The contract every store answers, as a typed suite. A store's test file
// supplies a traits type with
//   static StoreUnderTest make(const std::vector<ContractKey>& keys);
// that builds a store of its kind holding exactly those keys (parents are
// implied), and instantiates the suite:
//   INSTANTIATE_TYPED_TEST_SUITE_P(Wine, StoreContract, WineTraits);

#include <gtest/gtest.h>

#include <cstring>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "registry/HandleTable.h"
#include "registry/Store.h"
#include "registry/Text.h"
#include "registry/Wrappers.h"

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
  std::string data = registry::utf8ToUtf16le(utf8);
  data.append(2, '\0');
  return {type, data};
}

// The fixture machine of the contract.
inline std::vector<ContractKey> contractKeys() {
  using registry::RegValue;
  std::string embedded = registry::utf8ToUtf16le(std::string("abc\0def", 7));
  embedded.append(2, '\0');
  return {
      {"b", std::nullopt},
      {"A", sz("first")},
      {"_x", std::nullopt},
      {"a1", std::nullopt},
      {"Z", std::nullopt},
      {"CLSID\\{00000000-0000-0000-0000-000000000001}", sz("Some Class")},
      {"CLSID\\{00000000-0000-0000-0000-000000000001}\\InprocServer32", sz("C:\\x\\m9q.dll")},
      {"CLSID\\{00000000-0000-0000-0000-000000000002}", sz("")},
      {"Values\\Empty", sz("")},
      {"Values\\Expand", sz("%SystemRoot%\\x.dll", registry::REG_EXPAND_SZ)},
      {"Values\\Embedded", RegValue{registry::REG_SZ, embedded}},
      {"Values\\Dword", RegValue{registry::REG_DWORD, std::string("\x01\x00\x00\x00", 4)}},
      {"Values\\Umlaut\xC3\xA4", sz("\xC3\xA4rger")},
      {std::string("Long\\") + std::string(299, 'n'), std::nullopt},
      {std::string("Long\\") + std::string(300, 'o'), std::nullopt},
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

  std::vector<std::string> children(registry::HKEY h) {
    std::vector<std::string> names;
    std::string name;
    for (registry::DWORD i = 0; registry::EnumKey(*m_api, h, i, name) == 0; ++i) names.push_back(name);
    return names;
  }

  StoreUnderTest m_sut;
  std::unique_ptr<registry::HandleTable> m_api;
};

TYPED_TEST_SUITE_P(StoreContract);

TYPED_TEST_P(StoreContract, EnumeratesSortedByUpperCasedNamesAsStored) {
  using namespace registry;
  auto names = this->children(HKEY_CLASSES_ROOT);
  // '_' sorts after the upper-case letters, and names come back as stored.
  std::vector<std::string> expected = {"A", "a1", "b", "CLSID", "Long", "Values", "Z", "_x"};
  EXPECT_EQ(names, expected);
  HKEY h = this->open("values");
  EXPECT_EQ(this->children(h),
            (std::vector<std::string>{"Dword", "Embedded", "Empty", "Expand", "Umlaut\xC3\xA4"}));
  this->m_api->RegCloseKey(h);
}

TYPED_TEST_P(StoreContract, OpensPathsWithoutRegardToCase) {
  using namespace registry;
  HKEY h = 0;
  EXPECT_EQ(this->m_api->RegOpenKeyA(HKEY_CLASSES_ROOT,
                                     "clsid\\{00000000-0000-0000-0000-000000000001}\\INPROCSERVER32",
                                     &h),
            0);
  std::string value;
  EXPECT_TRUE(QueryStringValue(*this->m_api, h, "", value));
  EXPECT_EQ(value, "C:\\x\\m9q.dll");
  this->m_api->RegCloseKey(h);
  EXPECT_EQ(this->m_api->RegOpenKeyA(HKEY_CLASSES_ROOT, "VALUES\\UMLAUT\xC3\x84", &h), 0);
  this->m_api->RegCloseKey(h);
  EXPECT_EQ(this->m_api->RegOpenKeyA(HKEY_CLASSES_ROOT, "CLSID\\missing", &h), ERROR_FILE_NOT_FOUND);
}

TYPED_TEST_P(StoreContract, EnumerationEndsAndOverlongNamesAreReported) {
  using namespace registry;
  HKEY h = this->open("Long");
  char buffer[300];
  std::memset(buffer, 'x', sizeof buffer);
  EXPECT_EQ(this->m_api->RegEnumKeyA(h, 0, buffer, 300), 0);  // 299 characters and the NUL
  EXPECT_EQ(std::strlen(buffer), 299u);
  EXPECT_EQ(this->m_api->RegEnumKeyA(h, 1, buffer, 300), ERROR_MORE_DATA);  // 300 do not fit
  std::memset(buffer, 'x', sizeof buffer);
  EXPECT_EQ(this->m_api->RegEnumKeyA(h, 2, buffer, 300), ERROR_NO_MORE_ITEMS);
  EXPECT_EQ(std::string(buffer, 300), std::string(300, 'x'));  // untouched
  std::string name = "before";
  EXPECT_EQ(EnumKey(*this->m_api, h, 1, name), 0);  // the wrapper's buffer holds any legal name
  EXPECT_EQ(name, std::string(300, 'o'));
  EXPECT_EQ(EnumKey(*this->m_api, h, 2, name), ERROR_NO_MORE_ITEMS);
  EXPECT_EQ(name, std::string(300, ' '));
  this->m_api->RegCloseKey(h);
}

TYPED_TEST_P(StoreContract, ReadsTheDefaultValueLikeTheAnsiApi) {
  using namespace registry;
  DWORD type = 0, size = 0;
  HKEY h = this->open("Values\\Empty");
  EXPECT_EQ(this->m_api->RegQueryValueExA(h, "", nullptr, &type, nullptr, &size), 0);
  EXPECT_EQ(type, REG_SZ);
  EXPECT_EQ(size, 1u);
  std::string value = "old";
  EXPECT_TRUE(QueryStringValue(*this->m_api, h, "", value));
  EXPECT_EQ(value, "");
  this->m_api->RegCloseKey(h);

  h = this->open("A");
  size = 0;
  EXPECT_EQ(this->m_api->RegQueryValueExA(h, "", nullptr, &type, nullptr, &size), 0);
  EXPECT_EQ(size, 6u);  // "first" and its NUL
  char small[3];
  size = sizeof small;
  EXPECT_EQ(this->m_api->RegQueryValueExA(h, "", nullptr, &type,
                                          reinterpret_cast<BYTE*>(small), &size),
            ERROR_MORE_DATA);
  EXPECT_EQ(size, 6u);
  this->m_api->RegCloseKey(h);

  h = this->open("Values\\Embedded");
  EXPECT_TRUE(QueryStringValue(*this->m_api, h, "", value));
  EXPECT_EQ(value, "abc");
  this->m_api->RegCloseKey(h);

  h = this->open("Values\\Umlaut\xC3\xA4");
  EXPECT_TRUE(QueryStringValue(*this->m_api, h, "", value));
  EXPECT_EQ(value, "\xC3\xA4rger");
  this->m_api->RegCloseKey(h);

  for (const char* path : {"Values\\Expand", "Values\\Dword", "b"}) {
    value = "kept";
    h = this->open(path);
    EXPECT_FALSE(QueryStringValue(*this->m_api, h, "", value)) << path;
    EXPECT_EQ(value, "kept");
    this->m_api->RegCloseKey(h);
  }
  h = this->open("Values\\Expand");
  EXPECT_EQ(this->m_api->RegQueryValueExA(h, "", nullptr, &type, nullptr, &size), 0);
  EXPECT_EQ(type, REG_EXPAND_SZ);
  this->m_api->RegCloseKey(h);
  h = this->open("b");
  EXPECT_EQ(this->m_api->RegQueryValueExA(h, "", nullptr, &type, nullptr, &size),
            ERROR_FILE_NOT_FOUND);
  this->m_api->RegCloseKey(h);
}

TYPED_TEST_P(StoreContract, EmptySubPathOpensTheKeyItself) {
  using namespace registry;
  HKEY self = 0;
  ASSERT_EQ(this->m_api->RegOpenKeyA(HKEY_CLASSES_ROOT, "", &self), 0);
  EXPECT_EQ(this->children(self).size(), 8u);
  this->m_api->RegCloseKey(self);
  HKEY h = this->open("CLSID");
  EXPECT_EQ(this->children(h).size(), 2u);
  this->m_api->RegCloseKey(h);
}

TYPED_TEST_P(StoreContract, DeletesOnlyKeysWithoutSubkeys) {
  using namespace registry;
  const char* cls = "CLSID\\{00000000-0000-0000-0000-000000000001}";
  EXPECT_EQ(this->m_api->RegDeleteKeyA(HKEY_CLASSES_ROOT, cls), ERROR_ACCESS_DENIED);
  EXPECT_EQ(this->m_api->RegDeleteKeyA(HKEY_CLASSES_ROOT, "CLSID\\nothing"), ERROR_FILE_NOT_FOUND);

  HKEY held = this->open(std::string(cls) + "\\InprocServer32");
  HKEY clsKey = this->open(cls);
  EXPECT_EQ(this->m_api->RegDeleteKeyA(clsKey, "inprocserver32"), 0);
  // A handle to a removed key answers "marked for deletion".
  char buffer[300];
  EXPECT_EQ(this->m_api->RegEnumKeyA(held, 0, buffer, 300), ERROR_KEY_DELETED);
  DWORD type, size;
  EXPECT_EQ(this->m_api->RegQueryValueExA(held, "", nullptr, &type, nullptr, &size),
            ERROR_KEY_DELETED);
  this->m_api->RegCloseKey(held);

  EXPECT_EQ(this->m_api->RegDeleteKeyA(HKEY_CLASSES_ROOT, cls), 0);
  EXPECT_EQ(this->m_api->RegEnumKeyA(clsKey, 0, buffer, 300), ERROR_KEY_DELETED);
  this->m_api->RegCloseKey(clsKey);

  HKEY h = this->open("CLSID");
  EXPECT_EQ(this->children(h),
            (std::vector<std::string>{"{00000000-0000-0000-0000-000000000002}"}));
  this->m_api->RegCloseKey(h);
  EXPECT_EQ(this->m_api->RegOpenKeyA(HKEY_CLASSES_ROOT, cls, &h), ERROR_FILE_NOT_FOUND);
}

TYPED_TEST_P(StoreContract, RemovalKeepsTheOrderOfTheRest) {
  using namespace registry;
  EXPECT_EQ(this->m_api->RegDeleteKeyA(HKEY_CLASSES_ROOT, "a1"), 0);
  EXPECT_EQ(this->m_api->RegDeleteKeyA(HKEY_CLASSES_ROOT, "_X"), 0);
  EXPECT_EQ(this->children(HKEY_CLASSES_ROOT),
            (std::vector<std::string>{"A", "b", "CLSID", "Long", "Values", "Z"}));
  EXPECT_EQ(this->m_api->openHandles(), 0u);
}

REGISTER_TYPED_TEST_SUITE_P(StoreContract, EnumeratesSortedByUpperCasedNamesAsStored,
                            OpensPathsWithoutRegardToCase,
                            EnumerationEndsAndOverlongNamesAreReported,
                            ReadsTheDefaultValueLikeTheAnsiApi, EmptySubPathOpensTheKeyItself,
                            DeletesOnlyKeysWithoutSubkeys, RemovalKeepsTheOrderOfTheRest);

}  // namespace comsweep::test
