#include "platform/LocalTime.h"

namespace comsweep::platform {

bool localTime(std::time_t time, std::tm& out) { return ::localtime_r(&time, &out) != nullptr; }

std::string shortDateTimeText(std::time_t time) {
  std::tm local{};
  localTime(time, local);
  char text[128];
  std::size_t n = std::strftime(text, sizeof text, "%x %X", &local);
  return std::string(text, n);
}

}  // namespace comsweep::platform
