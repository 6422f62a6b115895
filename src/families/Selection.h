#pragma once
// The operator's choice: the fourteen family boxes, the review option, the
// remote option and the remote machine's name. The command line writes it,
// the main window shows and edits it, the run reads it.

#include <array>
#include <string>

namespace comsweep::families {

// The family boxes, in the order of the main window's boxes and their
// control ids: Journeys (n9q) before Summit (r9q), unlike the family
// numbering of kFamilies. The switches are read and the name fragments
// built in this order too (see parseCommandLine, buildPatternList).
enum class Box {
  m9q, m9qPlus, p9q, p9qPlus, t9q, t9qPlus, w9q, w9qPlus, h9q, h9qPlus, n9q, n9qPlus, r9q, r9qPlus
};
inline constexpr int kBoxCount = 14;

struct Selection {
  std::array<bool, kBoxCount> boxes{};  // ticked
  bool reviewFirst = true;  // "View all keys before being removed."
  bool createLogFile = false;
  bool useRemoteMachine = false;
  std::string remoteMachineName;

  bool& operator[](Box box) { return boxes[static_cast<std::size_t>(box)]; }
  bool operator[](Box box) const { return boxes[static_cast<std::size_t>(box)]; }
};

}  // namespace comsweep::families
