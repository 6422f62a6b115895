#include "ui/qt/MainWindow.h"

#include <QCheckBox>
#include <QDir>
#include <QFontMetrics>

#include "families/Families.h"
#include "app/MainForm.h"
#include "registry/Machine.h"
#include "ui/WindowSystem.h"
#include "ui/qt/WindowFont.h"
#include "ui_MainWindow.h"

namespace comsweep::ui {
namespace {

// The group label of each family, in family order.
constexpr const char* kGroupLabels[7] = {"Label1", "Label3", "Label4", "Label2",
                                         "Label5", "Label8", "Label7"};

}  // namespace

MainWindow::MainWindow(app::MainForm& form, const registry::Machine& machine)
    : m_form(form), m_ui(std::make_unique<Ui::MainWindow>()) {
  setFont(windowFont());
  m_ui->setupUi(this);
  setWindowFlags(Qt::Dialog | Qt::MSWindowsFixedSizeDialogHint | Qt::WindowTitleHint |
                 Qt::WindowSystemMenuHint | Qt::WindowCloseButtonHint);
  setFixedSize(size());

  // Captions come from the family table, the one place that knows them.
  for (std::size_t i = 0; i < families::kFamilies.size(); ++i) {
    const families::Family& family = families::kFamilies[i];
    findChild<QLabel*>(QLatin1String(kGroupLabels[i]))->setText(QString::fromUtf8(family.groupLabel));
    findChild<QCheckBox*>(QLatin1String(families::boxName(family.ownBox)))
        ->setText(QString::fromUtf8(family.ownCaption));
    findChild<QCheckBox*>(QLatin1String(families::boxName(family.plusBox)))
        ->setText(QString::fromUtf8(family.plusCaption));
  }

  for (int i = 0; i < families::kBoxCount; ++i) {
    const auto box = static_cast<families::Box>(i);
    connect(findChild<QCheckBox*>(QLatin1String(families::boxName(box))), &QCheckBox::clicked, this,
            [this, box](bool on) { m_form.selection()[box] = on ? 1 : 0; });
  }
  connect(m_ui->chkControl, &QCheckBox::clicked, this,
          [this](bool on) { m_form.selection().reviewFirst = on; });
  connect(m_ui->chkCreateLogFile, &QCheckBox::clicked, this,
          [this](bool on) { m_form.selection().createLogFile = on; });
  connect(m_ui->chkRemoteComputer, &QCheckBox::clicked, this, [this](bool on) {
    m_form.selection().useRemoteMachine = on;
    m_form.remoteMachineClicked();
    showSelection();
  });
  connect(m_ui->txtRemoteComputer, &QLineEdit::textChanged, this,
          [this](const QString& text) { m_form.selection().remoteMachineName = text.toStdString(); });

  connect(m_ui->cmdContinue, &QPushButton::clicked, this, [this] { m_form.continueClicked(); });
  connect(m_ui->cmdManual, &QPushButton::clicked, this, [this] { m_form.manualClicked(); });
  connect(m_ui->cmdCancel, &QPushButton::clicked, this, [this] { m_form.cancelClicked(); });
  connect(m_ui->cmdTIP, &QPushButton::clicked, this, [this] { m_form.tipClicked(); });

  showSelection();
  showMachine(machine);
  m_ui->chkM9q->setFocus();
}

MainWindow::~MainWindow() = default;

void MainWindow::showSelection() {
  const families::Selection& s = m_form.selection();
  for (int i = 0; i < families::kBoxCount; ++i) {
    const auto box = static_cast<families::Box>(i);
    findChild<QCheckBox*>(QLatin1String(families::boxName(box)))->setChecked(s[box] != 0);
  }
  m_ui->chkControl->setChecked(s.reviewFirst);
  m_ui->chkCreateLogFile->setChecked(s.createLogFile);
  m_ui->chkRemoteComputer->setChecked(s.useRemoteMachine);
  if (m_ui->txtRemoteComputer->text().toStdString() != s.remoteMachineName)
    m_ui->txtRemoteComputer->setText(QString::fromStdString(s.remoteMachineName));
  m_ui->lblRemoteComputer->setVisible(m_form.remoteNameVisible());
  m_ui->txtRemoteComputer->setVisible(m_form.remoteNameVisible());
}

void MainWindow::showMachine(const registry::Machine& machine) {
  const QString kind = QString::fromStdString(machine.kind);
  const QString path = QDir::toNativeSeparators(QString::fromStdString(machine.path.string()));
  QLabel* line = m_ui->lblMachine;
  const QString elided =
      QFontMetrics(line->font()).elidedText(path, Qt::ElideMiddle, line->width() - 2);
  line->setText(QStringLiteral("Local machine: %1\n%2").arg(kind, elided));
  line->setToolTip(QStringLiteral("A run changes the local machine %1 (%2).").arg(path, kind));
}

void MainWindow::setMousePointer(int pointer) {
  if (pointer == kHourglassPointer)
    setCursor(Qt::WaitCursor);
  else if (pointer == kArrowHourglassPointer)
    setCursor(Qt::BusyCursor);
  else
    unsetCursor();
}

void MainWindow::unload() {
  m_unloaded = true;
  hide();
}

void MainWindow::reject() {
  if (!m_unloaded) m_ui->cmdCancel->click();
}

}  // namespace comsweep::ui
