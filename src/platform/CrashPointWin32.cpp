#include "platform/CrashPoint.h"

#include <windows.h>

#include <cstdlib>
#include <cstring>

namespace comsweep::platform {

// Ends the process at once, as SIGKILL does on POSIX: no handler, no
// destructor, no flush.
void crashPoint(const char* name) {
  static const char* const wanted = std::getenv("COMSWEEP_TEST_CRASH_AT");
  if (wanted && std::strcmp(wanted, name) == 0) ::TerminateProcess(::GetCurrentProcess(), 137);
}

}  // namespace comsweep::platform
