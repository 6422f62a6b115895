#include "frontends/qt/ReviewWindow.h"

#include <QDir>
#include <QHeaderView>
#include <QKeyEvent>
#include <QResizeEvent>

#include "machine/Machine.h"
#include "forms/ReviewState.h"
#include "frontends/qt/Pictures.h"
#include "frontends/qt/WindowFont.h"
#include "ui_ReviewWindow.h"

namespace comsweep::qt {
namespace {

// Key codes as the review logic expects them: the Delete key's, and the letters and
// digits, which share their codes; other keys are of no interest to it.
int virtualKeyCode(const QKeyEvent& event) {
  if (event.key() == Qt::Key_Delete) return forms::ReviewState::kDeleteKey;
  if ((event.key() >= Qt::Key_0 && event.key() <= Qt::Key_9) ||
      (event.key() >= Qt::Key_A && event.key() <= Qt::Key_Z))
    return event.key();
  return 0;
}

int shiftFlags(Qt::KeyboardModifiers modifiers) {
  return (modifiers & Qt::ShiftModifier ? 1 : 0) | (modifiers & Qt::ControlModifier ? 2 : 0) |
         (modifiers & Qt::AltModifier ? 4 : 0);
}

}  // namespace

ReviewWindow::ReviewWindow(forms::ReviewState& state, const registry::Machine& machine,
                           QWidget* parent)
    : QDialog(parent),
      m_state(state),
      m_ui(std::make_unique<Ui::ReviewWindow>()),
      m_model(state.foundKeys) {
  setFont(windowFont());
  m_ui->setupUi(this);
  setWindowFlags(Qt::Window | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                 Qt::WindowMinMaxButtonsHint | Qt::WindowCloseButtonHint);

  m_ui->Label1->setText(QString::fromStdString(state.heading));
  m_ui->lblRemoteMachine->setText(QString::fromStdString(state.remoteMachineLabel));
  const QString where = QStringLiteral("Local machine: %1, %2")
                            .arg(QString::fromStdString(machine.kind),
                                 QDir::toNativeSeparators(QString::fromStdString(
                                     machine.path.string())));
  m_ui->Label1->setToolTip(where);
  m_ui->lblRemoteMachine->setToolTip(where);

  QTreeView* list = m_ui->lvwKeys;
  list->setModel(&m_model);
  list->setIconSize(QSize(16, 16));
  QHeaderView* header = list->header();
  header->setStretchLastSection(false);
  header->setSectionsClickable(true);
  header->setSortIndicatorShown(true);
  header->resizeSection(0, 267);  // the design widths, 4000 and 3000 twips
  header->resizeSection(1, 200);
  connect(header, &QHeaderView::sectionClicked, this, &ReviewWindow::columnClicked);
  connect(list->selectionModel(), &QItemSelectionModel::selectionChanged, this, [this] {
    const QModelIndexList rows = m_ui->lvwKeys->selectionModel()->selectedRows();
    m_state.selectedPosition = rows.isEmpty() ? 0 : static_cast<std::size_t>(rows.first().row()) + 1;
  });
  list->installEventFilter(this);
  showSortIndicator();
  // The first entry starts selected, so that the highlighted entry is the
  // one Del strikes.
  selectEntry(m_state.foundKeys.count() > 0 ? 1 : 0);

  static const char* const kLegend[] = {"PROGID", "CLSID", "INTERFACE", "TYPELIB"};
  QLabel* const images[] = {m_ui->Image1_0, m_ui->Image1_1, m_ui->Image1_2, m_ui->Image1_3};
  for (int i = 0; i < 4; ++i)
    images[i]->setPixmap(
        Pictures::category(QLatin1String(kLegend[i])).pixmap(QSize(16, 16), devicePixelRatioF()));

  connect(m_ui->cmdDelete, &QPushButton::clicked, this, [this] { m_state.removeClicked(); });
  connect(m_ui->cmdCancel, &QPushButton::clicked, this, [this] { m_state.cancelClicked(); });
  list->setFocus();
}

ReviewWindow::~ReviewWindow() = default;

void ReviewWindow::unload() {
  m_unloaded = true;
  done(QDialog::Rejected);
}

void ReviewWindow::reject() { unload(); }

void ReviewWindow::keyPressEvent(QKeyEvent* event) {
  if (event->key() == Qt::Key_Escape && event->modifiers() == Qt::NoModifier) {
    m_ui->cmdCancel->click();
    return;
  }
  QDialog::keyPressEvent(event);
}

bool ReviewWindow::eventFilter(QObject* watched, QEvent* event) {
  if (watched == m_ui->lvwKeys && event->type() == QEvent::KeyPress) {
    const auto* key = static_cast<QKeyEvent*>(event);
    const std::size_t selected = m_state.selectedPosition;
    m_state.keyPressed(virtualKeyCode(*key), shiftFlags(key->modifiers()));
    if (selected != 0) m_model.entryChanged(static_cast<int>(selected) - 1);
  }
  return QDialog::eventFilter(watched, event);  // the list still gets the key
}

void ReviewWindow::columnClicked(int section) {
  m_model.beginReorder();
  m_state.columnClicked(section + 1);
  const std::size_t selected = m_state.selectedPosition;
  m_model.endReorder();
  selectEntry(selected);
  showSortIndicator();
}

void ReviewWindow::selectEntry(std::size_t position) {
  QTreeView* list = m_ui->lvwKeys;
  if (position == 0 || position > m_state.foundKeys.count()) {
    list->selectionModel()->clear();
    m_state.selectedPosition = 0;
    return;
  }
  const QModelIndex index = m_model.index(static_cast<int>(position) - 1, 0);
  list->selectionModel()->setCurrentIndex(
      index, QItemSelectionModel::ClearAndSelect | QItemSelectionModel::Rows);
  list->scrollTo(index);
}

void ReviewWindow::showSortIndicator() {
  QHeaderView* header = m_ui->lvwKeys->header();
  if (!m_state.foundKeys.sorted()) {
    header->setSortIndicator(-1, Qt::AscendingOrder);
    return;
  }
  header->setSortIndicator(m_state.foundKeys.sortKey(),
                           m_state.foundKeys.sortOrder() == scan::FoundKeyList::SortOrder::Ascending
                               ? Qt::AscendingOrder
                               : Qt::DescendingOrder);
}

forms::ReviewGeometry ReviewWindow::currentGeometry() const {
  return {width(),
          height(),
          m_ui->lvwKeys->width(),
          m_ui->lvwKeys->height(),
          m_ui->fraButtons->y(),
          m_ui->lblRemoteMachine->x()};
}

void ReviewWindow::changeEvent(QEvent* event) {
  QDialog::changeEvent(event);
  if (event->type() != QEvent::ActivationChange || !isActiveWindow()) return;
  m_layout.activated(currentGeometry());
  m_state.activated();
  m_ui->lblRemoteMachine->setText(QString::fromStdString(m_state.remoteMachineLabel));
}

void ReviewWindow::resizeEvent(QResizeEvent* event) {
  QDialog::resizeEvent(event);
  // Window sizes here are the client area's; the rules use only how much the
  // window grew, which is the same for the outer size.
  std::optional<forms::ReviewGeometry> g =
      m_layout.resized(event->size().width(), event->size().height(), isMinimized());
  if (!g) return;
  m_ui->lvwKeys->resize(g->listWidth, g->listHeight);
  m_ui->fraButtons->move(m_ui->fraButtons->x(), g->buttonsTop);
  m_ui->lblRemoteMachine->move(g->remoteLabelLeft, m_ui->lblRemoteMachine->y());
}

}  // namespace comsweep::qt
