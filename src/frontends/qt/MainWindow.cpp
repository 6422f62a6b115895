#include "frontends/qt/MainWindow.h"

#include <QCheckBox>
#include <QDir>
#include <QFileDialog>
#include <QFontMetrics>

#include "families/Families.h"
#include "app/MachineChoices.h"
#include "app/MachineChooser.h"
#include "app/MainForm.h"
#include "app/Program.h"
#include "machine/Machine.h"
#include "frontends/qt/ModalRunner.h"
#include "forms/WindowSystem.h"
#include "frontends/qt/WindowFont.h"
#include "ui_MainWindow.h"

namespace comsweep::qt {
namespace {

// The group label of each family, in family order.
constexpr const char* kGroupLabels[7] = {"Label1", "Label3", "Label4", "Label2",
                                         "Label5", "Label8", "Label7"};

}  // namespace

MainWindow::MainWindow(app::MainForm& form, app::MachineChooser& chooser, ModalRunner& modal)
    : m_form(form), m_chooser(chooser), m_modal(modal), m_ui(std::make_unique<Ui::MainWindow>()) {
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

  connect(m_ui->cboMachine, qOverload<int>(&QComboBox::activated), this,
          &MainWindow::machineChosen);
  connect(m_ui->cmdMachine, &QPushButton::clicked, this, &MainWindow::browseClicked);
  m_reading.setInterval(100);
  connect(&m_reading, &QTimer::timeout, this, &MainWindow::readingTick);

  connect(m_ui->cmdContinue, &QPushButton::clicked, this, [this] { m_form.continueClicked(); });
  connect(m_ui->cmdManual, &QPushButton::clicked, this, [this] { m_form.manualClicked(); });
  connect(m_ui->cmdCancel, &QPushButton::clicked, this, [this] { m_form.cancelClicked(); });
  connect(m_ui->cmdTIP, &QPushButton::clicked, this, [this] { m_form.tipClicked(); });

  showSelection();
  showMachine();
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

void MainWindow::showMachine() {
  const std::string home = QDir::homePath().toStdString();
  QComboBox* list = m_ui->cboMachine;
  list->clear();
  const QFontMetrics metrics(list->font());
  for (const std::filesystem::path& machine : m_chooser.choices()) {
    const QString path = QDir::toNativeSeparators(QString::fromStdString(machine.string()));
    list->addItem(metrics.elidedText(QString::fromStdString(app::machineLabel(machine, home)),
                                     Qt::ElideMiddle, list->width() - 28));
    list->setItemData(list->count() - 1, path, Qt::ToolTipRole);
  }
  list->setCurrentIndex(static_cast<int>(m_chooser.chosenIndex()));
  const bool reading = m_chooser.reading();
  list->setEnabled(!reading);
  m_ui->cmdMachine->setEnabled(!reading);

  const QString path =
      QDir::toNativeSeparators(QString::fromStdString(m_chooser.chosen().string()));
  QLabel* line = m_ui->lblMachine;
  list->setToolTip(path);
  if (reading) {
    const auto seconds = std::chrono::duration_cast<std::chrono::seconds>(m_chooser.readingTime());
    line->setText(QStringLiteral("Reading the local machine... %1 s").arg(seconds.count()));
    line->setToolTip(QStringLiteral("%1 is being read; a run can start once it is read.").arg(path));
  } else if (const registry::Machine* machine = m_chooser.machine()) {
    const QString kind = QString::fromStdString(machine->kind);
    line->setText(QStringLiteral("Local machine: %1").arg(kind));
    line->setToolTip(QStringLiteral("A run changes the local machine %1 (%2).").arg(path, kind));
  } else {
    line->setText(QStringLiteral("Local machine: cannot be opened"));
    line->setToolTip(QString::fromStdString(m_chooser.error()));
  }
}

void MainWindow::showEvent(QShowEvent* event) {
  QDialog::showEvent(event);
  showMachine();
  // The reading's outcome not at once: a box about the machine must come
  // over a window already on screen.
  m_reading.start();
}

void MainWindow::readingTick() {
  // The box of a machine that cannot be opened runs its own event loop:
  // no tick may come in between.
  m_reading.stop();
  m_form.machineReadingEnded();
  showMachine();
  if (m_chooser.reading()) m_reading.start();
}

void MainWindow::machineChosen(int index) {
  if (m_form.listedMachineChosen(index)) readingTick();
}

void MainWindow::browseClicked() {
  QFileDialog dialog(this, QStringLiteral("Registry Cleaner"));
  dialog.setObjectName(QStringLiteral("dlgMachine"));
  dialog.setOption(QFileDialog::DontUseNativeDialog);
  dialog.setFileMode(QFileDialog::ExistingFile);
  dialog.setNameFilters({QStringLiteral("Registries (system.reg user.reg *.reg SOFTWARE *.dat *.hiv)"),
                         QStringLiteral("All files (*)")});
  const std::filesystem::path chosen = m_chooser.chosen();
  std::error_code ec;
  dialog.setDirectory(QString::fromStdString(
      (std::filesystem::is_directory(chosen, ec) ? chosen : chosen.parent_path()).string()));
  m_modal.run(dialog);
  if (dialog.result() != QDialog::Accepted || dialog.selectedFiles().isEmpty()) return;
  m_form.machineChosen(
      app::machineOfPickedFile(dialog.selectedFiles().constFirst().toStdString()));
  readingTick();
}

void MainWindow::setMousePointer(int pointer) {
  if (pointer == forms::kHourglassPointer)
    setCursor(Qt::WaitCursor);
  else if (pointer == forms::kArrowHourglassPointer)
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

}  // namespace comsweep::qt
