// Saving onto a full or read-only file system: the original stays, the exit
// status says so, and nothing claims success. Needs a small tmpfs of its
// own, which takes root; skipped elsewhere.

#include <gtest/gtest.h>
#include <sys/mount.h>

#include "support/RunBinary.h"
#include "support/TempDir.h"

namespace comsweep::test {
namespace {

class SmallFileSystem : public ::testing::Test {
 protected:
  void SetUp() override {
    if (::mount("tmpfs", m_dir.path().c_str(), "tmpfs", 0, "size=256k") != 0)
      GTEST_SKIP() << "cannot mount a tmpfs here (needs root)";
    m_mounted = true;
  }
  void TearDown() override {
    if (m_mounted) ::umount2(m_dir.path().c_str(), MNT_DETACH);
  }

  static std::string machine() {
    std::string text = "Windows Registry Editor Version 5.00\n\n";
    for (int i = 0; i < 1500; ++i)
      text += "[HKEY_CLASSES_ROOT\\CLSID\\{" + std::to_string(100000 + i) + "}]\n@=\"" +
              (i % 100 == 0 ? "m9q" : "other") + " class\"\n\n";
    return text;
  }

  TempDir m_dir;
  bool m_mounted = false;
};

TEST_F(SmallFileSystem, ASaveThatDoesNotFitLeavesTheOriginal) {
  std::string text = machine();
  writeFile(m_dir / "m.reg", text);
  // Fill what is left but a little, so the log and backup fit and the new file does not.
  std::string filler(256 * 1024 - text.size() - 12 * 1024, 'x');
  writeFile(m_dir / "filler", filler);
  BinaryResult r = runComsweep({"/M9Q"}, {{{"COMSWEEP_MACHINE", (m_dir / "m.reg").string()}}});
  EXPECT_EQ(r.status, 2) << r.err;
  EXPECT_EQ(readFile(m_dir / "m.reg"), text);
  std::string log = readFile(m_dir / "9QReg.log");
  EXPECT_NE(log.find("Number of deleted keys: 0"), std::string::npos) << log;
  for (const auto& entry : std::filesystem::directory_iterator(m_dir.path()))
    EXPECT_EQ(entry.path().filename().string().find(".comsweep-"), std::string::npos);
}

TEST_F(SmallFileSystem, AReadOnlyMachineIsNotTouched) {
  std::string text = machine();
  writeFile(m_dir / "m.reg", text);
  ASSERT_EQ(::mount(nullptr, m_dir.path().c_str(), nullptr, MS_REMOUNT | MS_RDONLY, nullptr), 0);
  BinaryResult r = runComsweep({"/M9Q"}, {{{"COMSWEEP_MACHINE", (m_dir / "m.reg").string()}}});
  EXPECT_EQ(r.status, 2);
  EXPECT_NE(r.err.find("no key removed"), std::string::npos) << r.err;
  EXPECT_EQ(readFile(m_dir / "m.reg"), text);
}

}  // namespace
}  // namespace comsweep::test
