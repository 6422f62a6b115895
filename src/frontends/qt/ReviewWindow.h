#pragma once
// The review window: the found keys before anything is removed. The list is
// the review state's found-key list; Del, column clicks, Remove and Cancel go
// to its logic, and this window only draws what the state holds.
//
// Closing by the close box unloads the window without removal and without
// the Cancel message; Esc presses Cancel.

#include <QDialog>
#include <memory>

#include "forms/ReviewLayout.h"
#include "frontends/qt/FoundKeyModel.h"

namespace Ui {
class ReviewWindow;
}

namespace comsweep::registry {
struct Machine;
}

namespace comsweep::forms {
class ReviewState;
}  // namespace comsweep::forms

namespace comsweep::qt {


class ReviewWindow : public QDialog {
  Q_OBJECT
 public:
  ReviewWindow(forms::ReviewState& state, const registry::Machine& machine,
               QWidget* parent = nullptr);
  ~ReviewWindow() override;

  // Closes the window; the modal show returns.
  void unload();
  bool unloaded() const { return m_unloaded; }

 protected:
  void changeEvent(QEvent* event) override;
  void resizeEvent(QResizeEvent* event) override;
  void keyPressEvent(QKeyEvent* event) override;
  void reject() override;
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  void columnClicked(int section);
  void selectEntry(std::size_t position);
  void showSortIndicator();
  forms::ReviewGeometry currentGeometry() const;

  forms::ReviewState& m_state;
  std::unique_ptr<Ui::ReviewWindow> m_ui;
  FoundKeyModel m_model;
  forms::ReviewLayout m_layout;
  bool m_unloaded = false;
};

}  // namespace comsweep::qt
