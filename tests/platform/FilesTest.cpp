#include "platform/Files.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <cerrno>

#include "platform/FileDescriptor.h"
#include "support/TempDir.h"

namespace comsweep::test {
namespace {

// A call that succeeds leaves errno as it was: an EINTR left over from
// before must not make a read or a write go round again.
TEST(Files, AnInterruptionLeftOverFromBeforeIsNoReasonToRetry) {
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
}

}  // namespace
}  // namespace comsweep::test
