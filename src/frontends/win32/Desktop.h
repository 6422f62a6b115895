#pragma once
#include <string>

namespace comsweep::win32 {

// Why no window can be shown to anyone, or empty when one can: a service's
// hidden window station, the services' session 0, or Wine without a display
// (where the windows would wait for an operator who cannot see them).
std::string missingDesktopMessage();

}  // namespace comsweep::win32
