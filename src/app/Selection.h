#pragma once
// The operator's choice: the fourteen family boxes, the review option, the
// remote option and the remote machine's name. The command line writes it,
// the main window shows and edits it, the run reads it.

#include <array>
#include <string>

namespace comsweep::app {

// The family boxes, in the order "/ALL" ticks them.
enum class Box {
  chkM9q, chkM9qPlus, chkP9q, chkP9qPlus, chkT9q, chkT9qPlus, chkW9q, chkW9qPlus,
  chkH9q, chkH9qPlus, chkN9q, chkN9qPlus, chkR9q, chkR9qPlus
};
inline constexpr int kBoxCount = 14;

struct Selection {
  std::array<int, kBoxCount> boxes{};  // 0 clear, 1 ticked
  int chkControl = 1;                  // "View all keys before being removed."
  int chkCreateLogFile = 0;
  int chkRemoteComputer = 0;
  std::string txtRemoteComputer;

  int& operator[](Box box) { return boxes[static_cast<int>(box)]; }
  int operator[](Box box) const { return boxes[static_cast<int>(box)]; }
};

}  // namespace comsweep::app
