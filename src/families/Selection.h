#pragma once
// The operator's choice: the fourteen family boxes, the review option, the
// remote option and the remote machine's name. The command line writes it,
// the main window shows and edits it, the run reads it.

#include <array>
#include <string>

namespace comsweep::families {

// The family boxes, in the order "/ALL" ticks them.
enum class Box {
  m9q, m9qPlus, p9q, p9qPlus, t9q, t9qPlus, w9q, w9qPlus, h9q, h9qPlus, n9q, n9qPlus, r9q, r9qPlus
};
inline constexpr int kBoxCount = 14;

struct Selection {
  std::array<int, kBoxCount> boxes{};  // 0 clear, 1 ticked
  int reviewFirst = 1;  // "View all keys before being removed."
  int createLogFile = 0;
  int useRemoteMachine = 0;
  std::string remoteMachineName;

  int& operator[](Box box) { return boxes[static_cast<int>(box)]; }
  int operator[](Box box) const { return boxes[static_cast<int>(box)]; }
};

}  // namespace comsweep::families
