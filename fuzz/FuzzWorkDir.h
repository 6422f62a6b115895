#pragma once
// The directory a fuzz process writes its inputs to, one per process and
// removed when the process ends normally. It lies below
// $COMSWEEP_FUZZ_TMPDIR when set, which must then be for this process alone
// (scripts/fuzz gives each target a scratch directory of its own, which it
// removes even after a crash), else in /dev/shm when there is one (inputs are rewritten many thousand times a
// second), else in the system's temporary directory.

#include <filesystem>

namespace comsweep::fuzz {

class FuzzWorkDir {
 public:
  FuzzWorkDir();
  ~FuzzWorkDir();
  FuzzWorkDir(const FuzzWorkDir&) = delete;
  FuzzWorkDir& operator=(const FuzzWorkDir&) = delete;

  const std::filesystem::path& path() const { return m_path; }

 private:
  std::filesystem::path m_path;
};

}  // namespace comsweep::fuzz
