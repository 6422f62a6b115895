#include "platform/CrashPoint.h"

#include <signal.h>

#include <cstdlib>
#include <cstring>

namespace comsweep::platform {

void crashPoint(const char* name) {
  static const char* const wanted = std::getenv("COMSWEEP_TEST_CRASH_AT");
  if (wanted && std::strcmp(wanted, name) == 0) ::raise(SIGKILL);
  static const char* const stop = std::getenv("COMSWEEP_TEST_STOP_AT");
  if (stop && std::strcmp(stop, name) == 0) ::raise(SIGSTOP);
}

}  // namespace comsweep::platform
