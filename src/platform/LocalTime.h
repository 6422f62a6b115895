#pragma once
// Local time as the platform shows it to its user.

#include <ctime>
#include <string>

namespace comsweep::platform {

// The broken-down local time of `time`; false when it has none.
bool localTime(std::time_t time, std::tm& out);

// "short date, a space, long time" the way the user's settings write them:
// the LC_TIME conventions (%x %X) on POSIX, the user locale's short date
// and time formats on Windows, as the platform's own programs show them
// (the C runtime's %x %X there follows neither).
std::string shortDateTimeText(std::time_t time);

}  // namespace comsweep::platform
