#pragma once
// The review window: the found keys before anything is removed. The list
// shows the review state's found-key list as it is (a list without items
// of its own); Del, column clicks, Remove and Cancel go to the state's
// logic, and this window only draws what the state holds. A struck entry is
// drawn dimmed and struck through.
//
// Closing by the close box unloads the window without removal and without
// the Cancel message; Esc presses Cancel.

#include <string>

#include "forms/ReviewLayout.h"
#include "frontends/win32/Window.h"

#include <commctrl.h>

namespace comsweep::registry {
struct Machine;
}
namespace comsweep::forms {
class ReviewState;
}

namespace comsweep::win32 {

class ReviewWindow : public Window {
 public:
  static constexpr int kHeadingId = 200;
  static constexpr int kRemoteLabelId = 201;
  static constexpr int kListId = 202;
  static constexpr int kRemoveId = 203;
  static constexpr int kCancelId = IDCANCEL;  // Esc presses it
  static constexpr int kFirstLegendPictureId = 210;

  ReviewWindow(forms::ReviewState& state, const registry::Machine& machine);
  ~ReviewWindow() override;

  // Closes the window; the modal show returns and then destroys it.
  void unload() { m_unloaded = m_modalEnded = true; }
  // The modal show returns; the window stays on screen.
  void endModal() { m_modalEnded = true; }
  const bool& unloaded() const { return m_unloaded; }
  const bool& modalEnded() const { return m_modalEnded; }

 protected:
  LRESULT onMessage(UINT message, WPARAM wParam, LPARAM lParam) override;

 private:
  LRESULT notify(const NMHDR& header, LPARAM lParam);
  LRESULT customDraw(LPARAM lParam);
  // The entry the list shows selected, into the state (1-based, 0 for none).
  void readSelection();
  void selectEntry(std::size_t position);
  void showSortIndicator();
  forms::ReviewGeometry currentGeometry() const;
  void resized(int width, int height, bool minimized);
  void placeButtonFrame(int top);

  forms::ReviewState& m_state;
  forms::ReviewLayout m_layout;
  HIMAGELIST m_images = nullptr;
  std::wstring m_itemText;  // the text last handed to the list
  int m_buttonsTop = 0;     // of the button frame, in pixels
  bool m_unloaded = false;
  bool m_modalEnded = false;
};

}  // namespace comsweep::win32
