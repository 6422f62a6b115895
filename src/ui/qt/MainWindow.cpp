#include "ui/qt/MainWindow.h"

#include <QCheckBox>
#include <QDir>
#include <QFontMetrics>

#include "app/Families.h"
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
  for (std::size_t i = 0; i < app::kFamilies.size(); ++i) {
    const app::Family& family = app::kFamilies[i];
    findChild<QLabel*>(QLatin1String(kGroupLabels[i]))->setText(QString::fromUtf8(family.groupLabel));
    findChild<QCheckBox*>(QLatin1String(app::boxName(family.ownBox)))
        ->setText(QString::fromUtf8(family.ownCaption));
    findChild<QCheckBox*>(QLatin1String(app::boxName(family.plusBox)))
        ->setText(QString::fromUtf8(family.plusCaption));
  }

  for (int i = 0; i < app::kBoxCount; ++i) {
    const auto box = static_cast<app::Box>(i);
    connect(findChild<QCheckBox*>(QLatin1String(app::boxName(box))), &QCheckBox::clicked, this,
            [this, box](bool on) { m_form.selection[box] = on ? 1 : 0; });
  }
  connect(m_ui->chkControl, &QCheckBox::clicked, this,
          [this](bool on) { m_form.selection.chkControl = on ? 1 : 0; });
  connect(m_ui->chkCreateLogFile, &QCheckBox::clicked, this,
          [this](bool on) { m_form.selection.chkCreateLogFile = on ? 1 : 0; });
  connect(m_ui->chkRemoteComputer, &QCheckBox::clicked, this, [this](bool on) {
    m_form.selection.chkRemoteComputer = on ? 1 : 0;
    m_form.chkRemoteComputer_Click();
    showSelection();
  });
  connect(m_ui->txtRemoteComputer, &QLineEdit::textChanged, this,
          [this](const QString& text) { m_form.selection.txtRemoteComputer = text.toStdString(); });

  connect(m_ui->cmdContinue, &QPushButton::clicked, this, [this] { m_form.cmdContinue_Click(); });
  connect(m_ui->cmdManual, &QPushButton::clicked, this, [this] { m_form.cmdManual_Click(); });
  connect(m_ui->cmdCancel, &QPushButton::clicked, this, [this] { m_form.cmdCancel_Click(); });
  connect(m_ui->cmdTIP, &QPushButton::clicked, this, [this] { m_form.cmdTIP_Click(); });

  showSelection();
  showMachine(machine);
  m_ui->chkM9q->setFocus();
}

MainWindow::~MainWindow() = default;

void MainWindow::showSelection() {
  const app::Selection& s = m_form.selection;
  for (int i = 0; i < app::kBoxCount; ++i) {
    const auto box = static_cast<app::Box>(i);
    findChild<QCheckBox*>(QLatin1String(app::boxName(box)))->setChecked(s[box] != 0);
  }
  m_ui->chkControl->setChecked(s.chkControl != 0);
  m_ui->chkCreateLogFile->setChecked(s.chkCreateLogFile != 0);
  m_ui->chkRemoteComputer->setChecked(s.chkRemoteComputer != 0);
  if (m_ui->txtRemoteComputer->text().toStdString() != s.txtRemoteComputer)
    m_ui->txtRemoteComputer->setText(QString::fromStdString(s.txtRemoteComputer));
  m_ui->lblRemoteComputer->setVisible(m_form.lblRemoteComputerVisible);
  m_ui->txtRemoteComputer->setVisible(m_form.txtRemoteComputerVisible);
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
  if (pointer == vbHourglass)
    setCursor(Qt::WaitCursor);
  else if (pointer == vbArrowHourglass)
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
