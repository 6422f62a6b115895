#include "fuzz/FuzzWorkDir.h"

#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <string>

namespace comsweep::fuzz {
namespace fs = std::filesystem;

FuzzWorkDir::FuzzWorkDir() {
  std::error_code ec;
  fs::path base;
  if (const char* chosen = std::getenv("COMSWEEP_FUZZ_TMPDIR"); chosen && *chosen)
    base = chosen;
  else if (fs::is_directory("/dev/shm", ec))
    base = "/dev/shm";
  else
    base = fs::temp_directory_path(ec);
  // Below a directory of its own the name is always the same: the paths the
  // readers are given then do not differ from one run to the next.
  m_path = base / (std::getenv("COMSWEEP_FUZZ_TMPDIR") ? std::string("work")
                                                       : "comsweep-fuzz-" + std::to_string(::getpid()));
  fs::remove_all(m_path, ec);  // left by an earlier process with the same id
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
