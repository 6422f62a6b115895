#pragma once
// The progress window: the borderless window that follows the scans. The
// scans hold the thread, so the window paints itself on the spot instead of
// waiting for the message loop; to keep a scan of a million keys fast it
// does so at most every kRepaintIntervalMs, and settle() draws the last
// state that a skipped refresh left behind.

#include <cstdint>
#include <string>

#include "frontends/win32/Window.h"

namespace comsweep::forms {
class ProgressState;
}

namespace comsweep::win32 {

class ProgressWindow : public Window {
 public:
  static constexpr int kRepaintIntervalMs = 30;
  static constexpr int kPictureId = 300;
  static constexpr int kCurrentNodeId = 301;
  static constexpr int kFoundCountId = 302;

  ProgressWindow();

  // Shows the window centred on the screen, without taking the focus.
  void showFor(const forms::ProgressState& state);
  // After each update of the state.
  void refresh(const forms::ProgressState& state);
  // Draws the latest state if a refresh skipped it.
  void settle(const forms::ProgressState& state);

 protected:
  LRESULT onMessage(UINT message, WPARAM wParam, LPARAM lParam) override;

 private:
  void render(const forms::ProgressState& state);

  ULONGLONG m_paintedAt = 0;
  std::uint64_t m_drawnUpdate = 0;
  bool m_drawnOnce = false;
  std::string m_drawnFrame;
};

}  // namespace comsweep::win32
