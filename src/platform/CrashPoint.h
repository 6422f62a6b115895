#pragma once
// A device for the crash tests: with COMSWEEP_TEST_CRASH_AT naming one of
// the points below, the program kills itself (SIGKILL, no handler runs) when
// it gets there, so that a test can check what a crash at exactly that
// instant leaves behind. With COMSWEEP_TEST_STOP_AT naming one, it stops
// itself there instead (SIGSTOP, POSIX only), so that a test can change the
// machine under it before letting it go on. Without the variables nothing
// happens.
//
//   save-before-rename    every new machine file is written and flushed, none in place
//   save-between-renames  a machine of several files: one more is in place, not all
//   save-after-rename     every new machine file is in place, the log not yet written
//   log-before-rename     the new log is written, not yet in place
//   hive-loaded           a hive's keys are read, its values not yet
//   text-shown            a text file's pages are shown in memory, not yet parsed
//
// With COMSWEEP_TEST_FAIL_AT naming a failure point, the step there fails
// as it would on a damaged system, and the program goes on to report it:
//
//   save-later-rename     every rename of a machine file after the first
//                         fails as if the directory had vanished

#include <cstdlib>
#include <cstring>

namespace comsweep::platform {

void crashPoint(const char* name);

// True when the step at the failure point `name` is to fail.
inline bool failurePoint(const char* name) {
  static const char* const wanted = std::getenv("COMSWEEP_TEST_FAIL_AT");
  return wanted && std::strcmp(wanted, name) == 0;
}

}  // namespace comsweep::platform
