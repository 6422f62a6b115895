#include "platform/Files.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <cerrno>
#include <filesystem>
#include <string>

#include "platform/FileDescriptor.h"
#include "support/TempDir.h"

namespace comsweep::test {
namespace {

// A call that succeeds leaves errno as it was: an error left over from
// before must not make a read, a write or a new file go round again.
TEST(Files, AnErrorLeftOverFromBeforeIsNoReasonToRetry) {
  TempDir dir;
  writeFile(dir / "f", "abc");
  platform::FileDescriptor file(::open((dir / "f").c_str(), O_RDONLY | O_CLOEXEC));
  char read[3] = {};
  errno = EINTR;
  EXPECT_EQ(platform::readAt(file.get(), read, sizeof read, 0), 3);

  int pipe[2];
  ASSERT_EQ(::pipe2(pipe, O_NONBLOCK | O_CLOEXEC), 0);
  platform::FileDescriptor in(pipe[0]), out(pipe[1]);
  errno = EINTR;
  EXPECT_TRUE(platform::writeAll(out.get(), "abc"));
  char written[8] = {};
  EXPECT_EQ(::read(in.get(), written, sizeof written), 3);

  // Nor an EEXIST: the temporary file made is the only one.
  std::filesystem::path made;
  errno = EEXIST;
  platform::FileDescriptor temporary(platform::createTemporaryBeside(dir.path(), "f", 0600, made));
  EXPECT_TRUE(temporary.valid());
  EXPECT_EQ(filesStarting(dir.path(), "").size(), 2u);
}

// A range copied by the kernel, and through a buffer where the kernel will
// not copy (a file system that cannot), arrives whole, to a file and to a
// pipe; a source that ends early fails with EIO, not with the bytes short.
TEST(Files, ARangeIsCopiedWholeByTheKernelOrThroughABuffer) {
  TempDir dir;
  const std::string bytes = std::string(3 << 20, 'x') + "0123456789";
  writeFile(dir / "from", bytes);
  platform::FileDescriptor from(::open((dir / "from").c_str(), O_RDONLY | O_CLOEXEC));
  for (bool kernel : {true, false}) {
    SCOPED_TRACE(kernel ? "kernel" : "buffer");
    auto copy = kernel ? platform::copyRange : platform::copyThroughBuffer;
    platform::FileDescriptor to(::open((dir / "to").c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600));
    ASSERT_TRUE(copy(from.get(), 3, to.get(), bytes.size() - 3));
    EXPECT_TRUE(readFile(dir / "to") == bytes.substr(3));

    int pipe[2];
    ASSERT_EQ(::pipe2(pipe, O_CLOEXEC), 0);
    platform::FileDescriptor in(pipe[0]), out(pipe[1]);
    ASSERT_TRUE(copy(from.get(), bytes.size() - 7, out.get(), 5));
    char copied[8] = {};
    EXPECT_EQ(std::string(copied, ::read(in.get(), copied, sizeof copied)), "34567");

    errno = 0;
    EXPECT_FALSE(copy(from.get(), bytes.size() - 2, to.get(), 5));
    EXPECT_EQ(errno, EIO);
  }
}

}  // namespace
}  // namespace comsweep::test
