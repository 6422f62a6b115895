#pragma once
// Everything the logic asks of the window system. The Qt and Win32 windows
// answer it, and a scripted operator in the tests. An unattended run has no
// window system at all.

#include <string>

namespace comsweep::forms {

class ProgressState;
class ReviewState;

// Title of message boxes that are given none.
inline constexpr const char* kApplicationTitle = "Registry Cleaner";

// Message-box styles, as the icon bits of a Windows message-box style.
inline constexpr int kCriticalIcon = 16;     // critical-stop icon, OK
inline constexpr int kInformationIcon = 64;  // information icon, OK

// Mouse pointers, by their Windows numbers.
inline constexpr int kDefaultPointer = 0;
inline constexpr int kHourglassPointer = 11;
inline constexpr int kArrowHourglassPointer = 13;

class WindowSystem {
 public:
  virtual ~WindowSystem() = default;

  // Modal; returns when the operator has closed it. An empty title shows
  // the application title.
  virtual void showMessage(const std::string& text, int style, const std::string& title) = 0;

  // The main window.
  virtual void mainSetMousePointer(int pointer) = 0;
  virtual void mainHide() = 0;
  virtual void mainUnload() = 0;
  // The window listing the switches, modal over the main window.
  virtual void tipShowModal() = 0;

  // The progress window: shown modeless before the scans; refreshed after every
  // Update so that it repaints while the scans hold the thread.
  virtual void progressShow(ProgressState& state) = 0;
  virtual void progressRefresh(ProgressState& state) = 0;
  virtual void progressUnload() = 0;
  // The scans are over: from now on the window shows the latest state,
  // which a refresh may have skipped to keep the scans fast.
  virtual void progressScansEnded(ProgressState& state) { (void)state; }

  // The review window: shown modally; returns once the window is unloaded
  // (by Cancel or its close box) or its modal show was ended (by Remove).
  virtual void reviewShowModal(ReviewState& state) = 0;
  // Ends the modal show and leaves the window on screen, over whatever the
  // run shows next, until it is unloaded.
  virtual void reviewEndModal(ReviewState& state) = 0;
  // Closes the window; harmless when it is closed already.
  virtual void reviewUnload(ReviewState& state) = 0;

  // Ends the program: no further event is handled.
  virtual void endProgram() = 0;
};

}  // namespace comsweep::forms
