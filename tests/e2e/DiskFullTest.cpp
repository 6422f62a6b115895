// Saving onto a read-only file system: the original stays, the exit status
// says so, and nothing claims success. (A save that does not fit is covered
// under a file size limit in RegMachineTest.) Needs a tmpfs of its own,
// which takes root; skipped elsewhere.

#include <gtest/gtest.h>
#include <sys/mount.h>

#include "support/RunBinary.h"
#include "support/TempDir.h"

namespace comsweep::test {
namespace {

TEST(SmallFileSystem, AReadOnlyMachineIsNotTouched) {
  TempDir dir;
  if (::mount("tmpfs", dir.path().c_str(), "tmpfs", 0, "size=256k") != 0)
    GTEST_SKIP() << "cannot mount a tmpfs here (needs root)";
  std::string text = "Windows Registry Editor Version 5.00\n\n";
  for (int i = 0; i < 1500; ++i)
    text += "[HKEY_CLASSES_ROOT\\CLSID\\{" + std::to_string(100000 + i) + "}]\n@=\"" +
            (i % 100 == 0 ? "m9q" : "other") + " class\"\n\n";
  writeFile(dir / "m.reg", text);
  EXPECT_EQ(::mount(nullptr, dir.path().c_str(), nullptr, MS_REMOUNT | MS_RDONLY, nullptr), 0);
  BinaryResult r = runComsweep({"/M9Q"}, {{{"COMSWEEP_MACHINE", (dir / "m.reg").string()}}});
  EXPECT_EQ(r.status, 2);
  EXPECT_NE(r.err.find("no key removed"), std::string::npos) << r.err;
  EXPECT_EQ(readFile(dir / "m.reg"), text);
  ::umount2(dir.path().c_str(), MNT_DETACH);
}

}  // namespace
}  // namespace comsweep::test
