#pragma once
// The progress window: the borderless window that follows the scans. The scans hold
// the user-interface thread, so the window paints itself on the spot
// instead of waiting for the event loop; to keep a scan of a million keys
// fast it does so at most every kRepaintIntervalMs, and settle() draws the
// last state that a skipped refresh left behind.

#include <QElapsedTimer>
#include <QHash>
#include <QPixmap>
#include <QWidget>
#include <cstdint>
#include <memory>

namespace Ui {
class ProgressWindow;
}

namespace comsweep::forms {
class ProgressState;
}  // namespace comsweep::forms

namespace comsweep::qt {


class ProgressWindow : public QWidget {
  Q_OBJECT
 public:
  static constexpr int kRepaintIntervalMs = 30;

  ProgressWindow();
  ~ProgressWindow() override;

  // Shows the window centred on the screen and returns once the window
  // system has mapped it: pictures drawn before that are never seen.
  void showFor(const forms::ProgressState& state);
  // After each update of the state.
  void refresh(const forms::ProgressState& state);
  // Draws the latest state if a refresh skipped it.
  void settle(const forms::ProgressState& state);

 private:
  void render(const forms::ProgressState& state);
  const QPixmap& frame(const std::string& key);

  std::unique_ptr<Ui::ProgressWindow> m_ui;
  QElapsedTimer m_sincePaint;
  std::uint64_t m_drawnUpdate = 0;
  bool m_drawnOnce = false;
  std::string m_drawnFrame;
  QHash<QString, QPixmap> m_frames;
};

}  // namespace comsweep::qt
