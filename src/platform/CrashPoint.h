#pragma once
// A device for the crash tests: with COMSWEEP_TEST_CRASH_AT naming one of
// the points below, the program kills itself (SIGKILL, no handler runs) when
// it gets there, so that a test can check what a crash at exactly that
// instant leaves behind. With COMSWEEP_TEST_STOP_AT naming one, it stops
// itself there instead (SIGSTOP, POSIX only), so that a test can change the
// machine under it before letting it go on. Without the variables nothing
// happens.
//
//   save-before-rename  the new machine file is written and flushed, not yet in place
//   save-after-rename   the new machine file is in place, the log not yet written
//   log-before-rename   the new log is written, not yet in place
//   hive-loaded         a hive's keys are read, its values not yet

namespace comsweep::platform {

void crashPoint(const char* name);

}  // namespace comsweep::platform
