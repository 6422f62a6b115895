#include "platform/MappedFile.h"

#include <fcntl.h>
#include <gtest/gtest.h>

#include <cerrno>
#include <string>

#include "platform/FileDescriptor.h"
#include "support/TempDir.h"

namespace comsweep::test {
namespace {

std::string bytesOf(const platform::MappedFile& map) {
  return std::string(reinterpret_cast<const char*>(map.data()), map.size());
}

// Both kinds of mapping read as the file from the start (a private copy is
// mapped read-only first, then made writable); a private copy's change stays
// in its own memory, and the file, a shared mapping and a later mapping see
// none of it. A descriptor open only for reading is enough for both.
TEST(MappedFile, APrivateCopyTakesChangesTheFileNeverSees) {
  TempDir dir;
  std::string bytes(3 * 4096 + 100, '\0');
  for (std::size_t i = 0; i < bytes.size(); ++i) bytes[i] = static_cast<char>('a' + i % 26);
  writeFile(dir / "f", bytes);
  platform::FileDescriptor fd(::open((dir / "f").c_str(), O_RDONLY | O_CLOEXEC));
  platform::MappedFile shared, copy, later;
  ASSERT_TRUE(platform::MappedFile::map(fd.get(), bytes.size(), false, shared));
  ASSERT_TRUE(platform::MappedFile::map(fd.get(), bytes.size(), true, copy));
  EXPECT_EQ(bytesOf(copy), bytes);
  copy.writableData()[4096] = '!';
  copy.writableData()[bytes.size() - 1] = '?';
  EXPECT_EQ(copy.data()[4096], '!');
  EXPECT_EQ(copy.data()[4095], bytes[4095]);
  EXPECT_EQ(readFile(dir / "f"), bytes);
  // Pages let go read as before: the file's from its cache, the copy's own
  // changes kept (moved mappings keep their kind).
  platform::MappedFile movedShared = std::move(shared), movedCopy = std::move(copy);
  movedShared.letPagesGo();
  movedCopy.letPagesGo();
  EXPECT_EQ(bytesOf(movedShared), bytes);
  EXPECT_EQ(movedCopy.data()[4096], '!');
  EXPECT_EQ(movedCopy.data()[bytes.size() - 1], '?');
  ASSERT_TRUE(platform::MappedFile::map(fd.get(), bytes.size(), true, later));
  EXPECT_EQ(bytesOf(later), bytes);

  // An empty length is refused, the mapping given is left empty.
  errno = 0;
  EXPECT_FALSE(platform::MappedFile::map(fd.get(), 0, true, later));
  EXPECT_EQ(errno, EINVAL);
  EXPECT_EQ(later.data(), nullptr);
}

}  // namespace
}  // namespace comsweep::test
