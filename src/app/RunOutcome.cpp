#include "app/RunOutcome.h"

namespace comsweep::app {

std::string closingMessage(const removal::RemovalReport& report) {
  std::string message = std::to_string(report.removed) + " / " + std::to_string(report.listed) +
                        " keys have been removed in your registry.";
  if (report.notRemoved != 0)
    message += "\r\n\r\nSome errors occured while deleting keys (" +  // sic: the program's own wording
               std::to_string(report.notRemoved) +
               " keys not removed)\r\nYou may see the not deleted keys by starting again the "
               "Registry Cleaner.";
  return message;
}

}  // namespace comsweep::app
