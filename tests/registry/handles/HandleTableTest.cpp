#include "registry/handles/HandleTable.h"

#include <gtest/gtest.h>

#include "support/Fixture.h"

namespace comsweep::test {
namespace {

using namespace registry;

// A subkey path as the registry reads it: a leading backslash is a bad
// path, an empty level inside it names no key, one trailing backslash is
// allowed; the answer is the same once the path's prefix is remembered.
TEST(HandleTable, ReadsSubkeyPathsAsTheRegistryDoes) {
  auto store = makeStore({{"CLSID\\{A}", "a"}});
  HandleTable api(*store);
  const struct { const char* path; LONG status; } cases[] = {
      {"CLSID\\{A}", ERROR_SUCCESS},          {"CLSID\\{A}\\", ERROR_SUCCESS},
      {"CLSID\\", ERROR_SUCCESS},             {"", ERROR_SUCCESS},
      {"\\CLSID", ERROR_BAD_PATHNAME},        {"\\", ERROR_BAD_PATHNAME},
      {"CLSID\\\\{A}", ERROR_FILE_NOT_FOUND}, {"CLSID\\{B}", ERROR_FILE_NOT_FOUND},
  };
  for (int round = 0; round < 2; ++round)
    for (const auto& c : cases) {
      HKEY key = 0;
      EXPECT_EQ(api.RegOpenKeyA(HKEY_CLASSES_ROOT, c.path, &key), c.status) << "\"" << c.path << "\", round " << round;
      if (key) api.RegCloseKey(key);
    }
  // A reserved argument other than 0, or data without its size, is refused.
  HKEY key = 0;
  ASSERT_EQ(api.RegOpenKeyA(HKEY_CLASSES_ROOT, "CLSID\\{A}", &key), ERROR_SUCCESS);
  DWORD reserved = 1, type = 0, size = 4;
  BYTE data[4];
  EXPECT_EQ(api.RegQueryValueExA(key, "", &reserved, &type, data, &size), ERROR_INVALID_PARAMETER);
  EXPECT_EQ(api.RegQueryValueExA(key, "", nullptr, &type, data, nullptr), ERROR_INVALID_PARAMETER);
  api.RegCloseKey(key);
  EXPECT_EQ(api.openHandles(), 0u);
}

}  // namespace
}  // namespace comsweep::test
