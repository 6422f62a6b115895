#include "fuzz/FuzzWorkDir.h"

#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <string>

namespace comsweep::fuzz {
namespace fs = std::filesystem;

FuzzWorkDir::FuzzWorkDir() {
  std::error_code ec;
  if (const char* chosen = std::getenv("COMSWEEP_FUZZ_TMPDIR"); chosen && *chosen) {
    // The caller's directory for this process alone: the name below it is
    // always the same, so the paths the readers are given do not differ
    // from one run to the next.
    m_path = fs::path(chosen) / "work";
  } else {
    fs::path base = fs::is_directory("/dev/shm", ec) ? fs::path("/dev/shm")
                                                      : fs::temp_directory_path(ec);
    m_path = base / ("comsweep-fuzz-" + std::to_string(::getpid()));
  }
  fs::remove_all(m_path, ec);  // left by an earlier process
  if (!fs::create_directories(m_path, ec)) {
    std::fprintf(stderr, "cannot create the fuzz directory %s: %s\n", m_path.c_str(),
                 ec.message().c_str());
    std::abort();
  }
}

FuzzWorkDir::~FuzzWorkDir() {
  std::error_code ec;
  fs::remove_all(m_path, ec);
}

}  // namespace comsweep::fuzz
