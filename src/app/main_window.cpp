#include "app/main_window.h"

#include <QApplication>
#include <QCheckBox>
#include <QCloseEvent>
#include <QDesktopServices>
#include <QFile>
#include <QLabel>
#include <QMessageBox>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QScreen>
#include <QShortcut>
#include <QStatusBar>
#include <QStatusTipEvent>
#include <QStyle>
#include <QTabWidget>
#include <QTextBrowser>
#include <QToolButton>
#include <QVBoxLayout>
#include <iostream>

#include <QDate>
#include <QDir>
#include <QFileDialog>
#include <QFileInfo>
#include <QLocale>
#include <QMenu>
#include "app/about_box.h"
#include "app/design_layout.h"
#include "app/folder_dialog.h"
#include "app/help_view.h"
#include "app/hints.h"
#include "app/links.h"
#include "app/login_dialog.h"
#include "app/server_box.h"
#include "app/settings_tab.h"
#include "app/window_placement.h"
#include "findings/findings_output.h"
#include "report/report_file.h"
#include "report/report_name.h"
#include "viewer/print_preview.h"
#include "viewer/report_view.h"
#include "viewer/save_output.h"

namespace quorvane::app {

namespace {

constexpr QSize kDesignClientSize{752, 537};
constexpr QPoint kDesignPosition{221, 186};
// The report tab's area at the design size; the view fills it.
constexpr QSize kReportTabDesignSize{729, 464};
// Closing waits this long for a running report to stop.
constexpr int kStopTimeoutMs = 1500;

QPushButton* Button(QWidget* parent, const char* name, const QString& caption, const QString& hint,
                    QStyle::StandardPixmap picture = QStyle::SP_CustomBase) {
  auto* button = new QPushButton(caption, parent);
  button->setObjectName(name);
  if (picture != QStyle::SP_CustomBase) button->setIcon(parent->style()->standardIcon(picture));
  SetHint(button, hint);
  return button;
}

report::ReportRunOptions RunOptions(const WindowOptions& window,
                                    findings::FindingsCollector& findings, const RunHost& host) {
  report::ReportRunOptions options;
  options.debugMode = window.debugMode;
  options.temporaryReportFile = window.temporaryReportFile;
  // The findings hear every run; their section is added when the box is ticked as the run ends.
  options.recorder = &findings;
  options.closingEntries = [&findings, &host] {
    return host.Findings() ? findings::FindingsSectionEntries(findings)
                           : std::vector<std::string>();
  };
  return options;
}

std::string ToStd(const QString& text) {
  return text.toStdString();
}

}  // namespace

TForm1::TForm1(WindowOptions options, QWidget* parent)
    : QMainWindow(parent),
      options_(std::move(options)),
      settingsFile_(options_.settings.file),
      runHost_(new RunHost(this)),
      run_(SQLServer_, *runHost_, outline_, RunOptions(options_, findings_, *runHost_)),
      connector_(*this, SQLServer_, settings_.servers, connection::HooksFor(run_),
                 data::InstalledOdbcDrivers, options_.freetds) {
  if (!options_.openUrl) options_.openUrl = [](const QUrl& url) { QDesktopServices::openUrl(url); };
  if (!options_.chooseSaveFile) {
    options_.chooseSaveFile = [](QWidget* parent, const QString& folder, const QString& name) {
      QFileDialog dialog(parent, tr("Save Output"), folder, viewer::kSaveFilters);
      dialog.setObjectName("SaveDialog1");
      dialog.setAcceptMode(QFileDialog::AcceptSave);
      dialog.setOption(QFileDialog::DontConfirmOverwrite);
      dialog.setOption(QFileDialog::ReadOnly, false);
      dialog.setFileMode(QFileDialog::AnyFile);
      dialog.selectFile(name);
      if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty()) return QString();
      return dialog.selectedFiles().first();
    };
  }
  setObjectName("Form1");
  setWindowTitle(tr("SQL Server Quorvane"));
  setWindowIcon(QIcon(":/quorvane.svg"));

  auto* central = new QWidget(this);
  auto* column = new QVBoxLayout(central);
  column->setContentsMargins(8, 8, 8, 0);
  column->setSpacing(0);
  PageControl1 = new QTabWidget(central);
  PageControl1->setObjectName("PageControl1");
  column->addWidget(PageControl1, 1);

  auto* reportTab = new QWidget;
  reportTab->setObjectName("ReportTabSheet");
  BuildReportTab(reportTab);
  PageControl1->addTab(reportTab, style()->standardIcon(QStyle::SP_ComputerIcon), tr("Quorva"));
  Settings = new SettingsTab;
  PageControl1->addTab(Settings, style()->standardIcon(QStyle::SP_FileDialogDetailedView),
                       tr("Settings"));
  auto* helpTab = new QWidget;
  helpTab->setObjectName("HelpTabSheet");
  auto* helpLayout = new QVBoxLayout(helpTab);
  helpLayout->setContentsMargins(4, 3, 4, 4);
  JvRichEdit1 = new HelpView(helpTab, [this](const QUrl& url) { options_.openUrl(url); });
  helpLayout->addWidget(JvRichEdit1);
  PageControl1->addTab(helpTab, style()->standardIcon(QStyle::SP_DialogHelpButton), tr("Help"));

  // The debug window: docked at the bottom across the window when shown.
  HTMLContainer = new QPlainTextEdit(central);
  HTMLContainer->setObjectName("HTMLContainer");
  HTMLContainer->setReadOnly(true);
  HTMLContainer->setLineWrapMode(QPlainTextEdit::NoWrap);
  HTMLContainer->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
  HTMLContainer->setFixedHeight(231);
  SetHint(HTMLContainer, tr("Debug Window - HTML Code"));
  HTMLContainer->hide();
  column->addWidget(HTMLContainer);
  setCentralWidget(central);

  BuildStatusBar();
  Timer1.setObjectName("Timer1");
  Timer1.setInterval(300);
  run_.HTMLContainer().SetObserver(runHost_);
  ConnectSignals();

  auto* f1 = new QShortcut(QKeySequence(Qt::Key_F1), this);
  f1->setObjectName("HelpShortcut");
  f1->setContext(Qt::ApplicationShortcut);
  connect(f1, &QShortcut::activated, this, &TForm1::ShowHelp);

  resize(kDesignClientSize);
  move(kDesignPosition);
}

TForm1::~TForm1() {
  run_.HTMLContainer().SetObserver(nullptr);
  if (worker_ && !runAbandoned_) StopRun(kStopTimeoutMs);
}

void TForm1::BuildReportTab(QWidget* tab) {
  auto* layout = new DesignLayout(tab, kReportTabDesignSize);

  SQLServerComboBox = new ServerBox(tab);
  SQLServerComboBox->setObjectName("SQLServerComboBox");
  SetHint(SQLServerComboBox, tr("Select or type a SQL Server name."));
  SetHint(SQLServerComboBox->lineEdit(), tr("Select or type a SQL Server name."));
  layout->Place(SQLServerComboBox, {16, 6, 185, 22});

  WinAuthCheckBox = new QCheckBox(tr("Use Windows Authentication"), tab);
  WinAuthCheckBox->setObjectName("WinAuthCheckBox");
  WinAuthCheckBox->setChecked(true);
  SetHint(WinAuthCheckBox,
          tr("Use Windows authentication. Otherwise prompt for a SQL Server login."));
  layout->Place(WinAuthCheckBox, {16, 30, 198, 17});

  ConnectBitBtn = Button(tab, "ConnectBitBtn", tr("Connect"), tr("Connect to SQL Server."),
                         QStyle::SP_DialogApplyButton);
  ConnectBitBtn->setEnabled(false);
  layout->Place(ConnectBitBtn, {216, 3, 97, 25});

  SaveOutputBitBtn = Button(tab, "SaveOutputBitBtn", tr("Save Output"),
                            tr("Save the report to a file."), QStyle::SP_DialogSaveButton);
  SaveOutputBitBtn->setEnabled(false);
  layout->Place(SaveOutputBitBtn, {325, 3, 97, 25});

  PrintPreviewButton = new QToolButton(tab);
  PrintPreviewButton->setObjectName("PrintPreviewButton");
  PrintPreviewButton->setIcon(style()->standardIcon(QStyle::SP_FileDialogContentsView));
  SetHint(PrintPreviewButton, tr("Print Preview"));
  PrintPreviewButton->hide();
  layout->Place(PrintPreviewButton, {434, 4, 23, 24});

  DonateButton = Button(tab, "DonateButton", tr("Donate"),
                        tr("Support this software by making a small donation."));
  layout->Place(DonateButton, {479, 3, 75, 25}, kAnchorTopRight);

  DebugSpeedButton = new QToolButton(tab);
  DebugSpeedButton->setObjectName("DebugSpeedButton");
  DebugSpeedButton->setText("D");
  DebugSpeedButton->setStyleSheet("QToolButton { color: red; font-weight: bold; }");
  DebugSpeedButton->setProperty("tag", 0);
  SetHint(DebugSpeedButton, tr("Toggle Debug Window"));
  DebugSpeedButton->hide();
  layout->Place(DebugSpeedButton, {455, 6, 23, 22});

  AboutBitBtn = Button(tab, "AboutBitBtn", tr("About"), tr("About the application."),
                       QStyle::SP_MessageBoxInformation);
  layout->Place(AboutBitBtn, {560, 3, 75, 25}, kAnchorTopRight);

  CloseBitBtn = Button(tab, "CloseBitBtn", tr("&Close"), tr("Exit the application."),
                       QStyle::SP_DialogCloseButton);
  layout->Place(CloseBitBtn, {647, 3, 75, 25}, kAnchorTopRight);

  WB = new viewer::ReportView(tab);
  WB->SetExternalOpener([this](const QUrl& url) { options_.openUrl(url); });
  WB->SetContextMenuHandler([this](const QPoint& at) { WBShowContextMenu(at); });
  layout->Place(WB, {0, 48, 729, 416}, kAnchorAll);

  setTabOrder(SQLServerComboBox, WinAuthCheckBox);
  setTabOrder(WinAuthCheckBox, ConnectBitBtn);
  setTabOrder(ConnectBitBtn, SaveOutputBitBtn);
  setTabOrder(SaveOutputBitBtn, AboutBitBtn);
  setTabOrder(AboutBitBtn, CloseBitBtn);
  setTabOrder(CloseBitBtn, WB);
  setTabOrder(WB, DonateButton);
}

void TForm1::BuildStatusBar() {
  auto* bar = new QStatusBar(this);
  bar->setObjectName("StatusBar1");
  bar->setSizeGripEnabled(true);
  StatusPanel = new QLabel(bar);
  StatusPanel->setObjectName("StatusPanel");
  bar->addWidget(StatusPanel, 1);
  JvXPProgressBar1 = new QProgressBar(bar);
  JvXPProgressBar1->setObjectName("JvXPProgressBar1");
  JvXPProgressBar1->setRange(0, 100);
  JvXPProgressBar1->setValue(0);
  JvXPProgressBar1->setTextVisible(false);
  JvXPProgressBar1->setFixedWidth(150);
  bar->addPermanentWidget(JvXPProgressBar1);
  setStatusBar(bar);
}

void TForm1::ConnectSignals() {
  connect(ConnectBitBtn, &QPushButton::clicked, this, &TForm1::Connect);
  connect(SaveOutputBitBtn, &QPushButton::clicked, this, &TForm1::SaveOutput);
  connect(PrintPreviewButton, &QToolButton::clicked, this, &TForm1::PrintPreviewClick);
  connect(DebugSpeedButton, &QToolButton::clicked, this, &TForm1::DebugSpeedButtonClick);
  connect(DonateButton, &QPushButton::clicked, this, &TForm1::DonateButtonClick);
  connect(AboutBitBtn, &QPushButton::clicked, this, &TForm1::ShowAbout);
  connect(CloseBitBtn, &QPushButton::clicked, this, &TForm1::CloseApp);

  connect(SQLServerComboBox, &ServerBox::textEditedByUser, this, &TForm1::SQLServerComboBoxChange);
  connect(SQLServerComboBox, &ServerBox::entryPicked, this, &TForm1::SQLServerComboBoxSelect);
  connect(SQLServerComboBox, &ServerBox::enterPressed, this, &TForm1::Connect);
  connect(SQLServerComboBox, &ServerBox::removeServerRequested, this,
          &TForm1::RemoveServerfromList1Click);
  connect(SQLServerComboBox, &ServerBox::removeAllServersRequested, this,
          &TForm1::RemoveAllServersfromList1Click);
  SQLServerComboBox->SetCompleter([this](const QString& typed) -> std::optional<int> {
    const auto index = settings_.servers.Complete(ToStd(typed));
    if (!index) return std::nullopt;
    return static_cast<int>(*index);
  });
  connect(WinAuthCheckBox, &QCheckBox::toggled, this, &TForm1::WinAuthCheckBoxClick);

  connect(Settings, &SettingsTab::changed, this, [this] {
    Settings->SaveSettingsBitBtn->setEnabled(true);  // EnableSaveSettingsBitBtn
    UpdateRunSettings();
  });
  connect(Settings->SaveSettingsBitBtn, &QPushButton::clicked, this, &TForm1::SaveSettings);
  connect(Settings->DefaultSettingsBitBtn, &QPushButton::clicked, this,
          &TForm1::DefaultSettingsBitBtnClick);
  connect(Settings->FileSavePathSpeedButton, &QToolButton::clicked, this,
          &TForm1::FileSavePathSpeedButtonClick);

  connect(&Timer1, &QTimer::timeout, this,
          [this] { JvXPProgressBar1->setValue(report::Timer1Timer(JvXPProgressBar1->value())); });

  // The run's messages, in the order it sends them.
  const auto queued = Qt::QueuedConnection;
  connect(runHost_, &RunHost::runControlsEnabled, this, &TForm1::SetRunControlsEnabled, queued);
  connect(runHost_, &RunHost::statusText, this, &TForm1::ShowHint, queued);
  connect(runHost_, &RunHost::progressStarted, this, &TForm1::StartProgress, queued);
  connect(runHost_, &RunHost::progressStopped, this, &TForm1::StopProgress, queued);
  connect(runHost_, &RunHost::defaultCursorRestored, this, &TForm1::RestoreDefaultCursor, queued);
  connect(
      runHost_, &RunHost::warning, this,
      [this](const QString& caption, const QString& text) {
        QMessageBox::warning(this, caption, text);
      },
      queued);
  connect(
      runHost_, &RunHost::navigate, this, [this](const QString& url) { WB->Navigate(QUrl(url)); },
      queued);
  connect(runHost_, &RunHost::bufferGrew, this, &TForm1::AppendToDebugWindow, queued);
  connect(WB, &viewer::ReportView::reportUnavailable, this, [this](const QString& why) {
    ShowHint(tr("The report was written completely, but the viewer cannot show it. %1").arg(why));
  });
}

// ---------------------------------------------------------------------------------------------
// Life cycle

void TForm1::showEvent(QShowEvent* event) {
  if (!firstShown_) {
    firstShown_ = true;
    FormShow();
  }
  QMainWindow::showEvent(event);
}

void TForm1::FormShow() {
  AboutBox = new TAboutBox(this, options_.openUrl);
  DebugSpeedButton->setVisible(options_.debugMode);

  try {
    connection::RenameSettings(options_.settings);
  } catch (const std::exception& error) {
    // Start with the defaults; the file is written anew at the next save.
    ShowHint(tr("The settings could not be migrated: %1").arg(error.what()));
  }
  const connection::WindowPlacement design{y(), x(), height(), width()};
  ApplyLoadedSettings(settingsFile_.LoadSettings(design));
  if (!options_.demoServer.isEmpty()) {
    SQLServerComboBox->setEditText(options_.demoServer);
    WinAuthCheckBox->setChecked(false);
    ConnectBitBtn->setEnabled(true);
    ShowHint(tr("Demo: press Connect to report on the simulated SQL Server."));
  }

  setMinimumSize(kDesignClientSize);
  if (settings_.isMaximized) {
    setWindowState(windowState() | Qt::WindowMaximized);
  } else {
    const connection::WindowPlacement& stored = settings_.placement;
    QScreen* screen = QGuiApplication::screenAt(
        QPoint(stored.left + stored.width / 2, stored.top + stored.height / 2));
    if (!screen) screen = QGuiApplication::primaryScreen();
    const QRect placed = screen ? PlaceOnScreen(stored, screen->availableGeometry())
                                : QRect(stored.left, stored.top, stored.width, stored.height);
    move(placed.topLeft());
    resize(placed.size().expandedTo(kDesignClientSize));
  }
  JvRichEdit1->LoadHelp();
  PageControl1->setCurrentIndex(0);
  settingsFile_.SetFirstShowCompleted();
}

void TForm1::closeEvent(QCloseEvent* event) {
  if (!closing_) FormClose();
  event->accept();
}

void TForm1::FormClose() {
  closing_ = true;
  if (worker_ && !StopRun(kStopTimeoutMs)) {
    runAbandoned_ = true;
    std::cerr << "quorvane: the connection did not stop in time; leaving it behind\n";
  }
  try {
    std::error_code ignored;
    std::filesystem::remove(run_.TemporaryReportFile(), ignored);
  } catch (const std::exception&) {
    // No private folder: then no report was ever written there either.
  }
  try {
    SaveCurrentState();
  } catch (const std::exception& error) {
    QMessageBox::warning(this, tr("SQL Server Quorvane"),
                         tr("The list of servers and the window's place could not be saved:\n%1")
                             .arg(QString::fromStdString(error.what())));
  }
  if (!worker_ && SQLServer_.Connected()) SQLServer_.Close();
}

bool TForm1::event(QEvent* event) {
  if (event->type() == QEvent::StatusTip) {
    ShowHint(static_cast<QStatusTipEvent*>(event)->tip());
    return true;
  }
  return QMainWindow::event(event);
}

void TForm1::ShowHint(const QString& hint) {
  StatusPanel->setText(hint);
}

QString TForm1::StatusText() const {
  return StatusPanel->text();
}

void TForm1::Activate() {
  if (isMinimized()) showNormal();
  show();
  raise();
  activateWindow();
}

void TForm1::ApplicationEvents1Exception(const std::exception& error) {
  std::cerr << "quorvane: " << error.what() << "\n";
  ShowHint(QString::fromStdString(error.what()));
  // A running report restores the controls itself when it ends; its connection is its own.
  if (worker_) return;
  Timer1.stop();
  JvXPProgressBar1->setEnabled(false);
  RestoreDefaultCursor();
  SQLServerComboBox->setEnabled(true);
  ConnectBitBtn->setEnabled(true);
  CloseBitBtn->setEnabled(true);
  if (SQLServer_.Connected()) SQLServer_.Close();
}

// ---------------------------------------------------------------------------------------------
// Settings

void TForm1::ApplyLoadedSettings(const connection::LoadedSettings& loaded) {
  settings_ = loaded.settings;
  {
    const QSignalBlocker blocker(Settings);
    Settings->AllowOACreateCheckBox->setChecked(settings_.allowOACreate);
    Settings->AllowCmdShellCheckBox->setChecked(settings_.allowCmdShell);
    Settings->IgnoreReplicationSectionCheckBox->setChecked(settings_.ignoreReplicationSection);
    Settings->FindingsCheckBox->setChecked(settings_.findings);
    Settings->FileSavePathEdit->setText(QString::fromStdString(settings_.reportPath));
    SetTimeoutFieldText(*Settings->ConnectionTimeoutMaskEdit,
                        QString::fromStdString(settings_.connectionTimeout));
    Settings->ProviderEdit->setText(QString::fromStdString(settings_.connectionProvider));
    Settings->JobHistoryEdit->SetValue(settings_.jobHistory);
    Settings->JobHistoryLimitEdit->SetValue(settings_.jobHistoryLimit);
    Settings->SetEncryptMode(settings_.encrypt);
    Settings->TrustServerCertificateCheckBox->setChecked(settings_.trustServerCertificate);
  }
  RefreshServerBox();
  SQLServerComboBox->setEditText(QString::fromStdString(settings_.curServer));
  {
    const QSignalBlocker blocker(WinAuthCheckBox);
    WinAuthCheckBox->setChecked(loaded.windowsAuthentication);
  }
  Settings->SaveSettingsBitBtn->setEnabled(false);
  ConnectBitBtn->setEnabled(!SQLServerComboBox->currentText().trimmed().isEmpty());
  UpdateRunSettings();
}

connection::Settings TForm1::CurrentSettings() const {
  connection::Settings s = settings_;
  s.curServer = ToStd(SQLServerComboBox->currentText());
  s.allowOACreate = Settings->AllowOACreateCheckBox->isChecked();
  s.allowCmdShell = Settings->AllowCmdShellCheckBox->isChecked();
  s.ignoreReplicationSection = Settings->IgnoreReplicationSectionCheckBox->isChecked();
  s.findings = Settings->FindingsCheckBox->isChecked();
  s.isMaximized = isMaximized();
  if (!s.isMaximized) s.placement = {y(), x(), height(), width()};
  s.reportPath = ToStd(Settings->FileSavePathEdit->text());
  s.connectionTimeout = ToStd(TimeoutFieldText(*Settings->ConnectionTimeoutMaskEdit));
  s.connectionProvider = ToStd(Settings->ProviderEdit->text());
  s.jobHistory = Settings->JobHistoryEdit->Value();
  s.jobHistoryLimit = Settings->JobHistoryLimitEdit->Value();
  s.encrypt = Settings->EncryptMode();
  s.trustServerCertificate = Settings->TrustServerCertificateCheckBox->isChecked();
  return s;
}

void TForm1::SaveCurrentState() {
  settingsFile_.SaveCurrentState(CurrentSettings());
}

void TForm1::SaveSettings() {
  Settings->JobHistoryEdit->Clamp();
  Settings->JobHistoryLimitEdit->Clamp();
  settingsFile_.SaveSettings(CurrentSettings());
  Settings->SaveSettingsBitBtn->setEnabled(false);
}

void TForm1::DefaultSettingsBitBtnClick() {
  connection::Settings defaults = CurrentSettings();
  connection::DefaultSettingsBitBtnClick(defaults);
  SetTimeoutFieldText(*Settings->ConnectionTimeoutMaskEdit,
                      QString::fromStdString(defaults.connectionTimeout));
  Settings->ProviderEdit->setText(QString::fromStdString(defaults.connectionProvider));
  Settings->AllowOACreateCheckBox->setChecked(defaults.allowOACreate);
  Settings->AllowCmdShellCheckBox->setChecked(defaults.allowCmdShell);
  Settings->IgnoreReplicationSectionCheckBox->setChecked(defaults.ignoreReplicationSection);
  Settings->FindingsCheckBox->setChecked(defaults.findings);
  Settings->JobHistoryEdit->SetValue(defaults.jobHistory);
  Settings->JobHistoryLimitEdit->SetValue(defaults.jobHistoryLimit);
  Settings->SetEncryptMode(defaults.encrypt);
  Settings->TrustServerCertificateCheckBox->setChecked(defaults.trustServerCertificate);
  Settings->SaveSettingsBitBtn->setEnabled(true);
}

void TForm1::FileSavePathSpeedButtonClick() {
  const QString folder = FolderDialog::Choose(this, Settings->FileSavePathEdit->text());
  if (folder.isEmpty()) return;
  settings_.reportPath = ToStd(folder);
  Settings->FileSavePathEdit->setText(folder);
}

void TForm1::UpdateRunSettings() {
  runHost_->SetRunSettings(Settings->CurrentRunSettings());
}

// ---------------------------------------------------------------------------------------------
// Server box

void TForm1::RefreshServerBox() {
  QStringList names;
  for (const connection::ServerEntry& entry : settings_.servers) {
    names << QString::fromStdString(entry.name);
  }
  SQLServerComboBox->SetEntries(names);
}

void TForm1::SQLServerComboBoxChange(const QString& text) {
  ConnectBitBtn->setEnabled(!text.trimmed().isEmpty());
  SaveOutputBitBtn->setEnabled(false);
}

void TForm1::SQLServerComboBoxSelect(int index) {
  if (index < 0 || static_cast<std::size_t>(index) >= settings_.servers.size()) return;
  // Picking also counts as a change of the text, so that Connect is enabled for a picked name.
  SQLServerComboBoxChange(SQLServerComboBox->currentText());
  WinAuthCheckBox->setChecked(
      connection::WindowsAuthenticationFor(settings_.servers[static_cast<std::size_t>(index)]));
}

void TForm1::WinAuthCheckBoxClick() {
  if (connection::WinAuthCheckBoxClick(settings_.servers, ToStd(SQLServerComboBox->currentText()),
                                       WinAuthCheckBox->isChecked())) {
    SaveCurrentState();
  }
}

void TForm1::RemoveServerfromList1Click() {
  if (!settings_.servers.Remove(ToStd(SQLServerComboBox->currentText().trimmed()))) return;
  RefreshServerBox();
  SQLServerComboBox->setEditText(QString());
  SQLServerComboBoxChange(QString());
  SaveCurrentState();
}

void TForm1::RemoveAllServersfromList1Click() {
  const auto answer = QMessageBox::question(
      this, tr("Confirm"),
      QString::fromUtf8(connection::kRemoveAllServersQuestion.data(),
                        static_cast<qsizetype>(connection::kRemoveAllServersQuestion.size())),
      QMessageBox::Yes | QMessageBox::No, QMessageBox::No);
  if (answer != QMessageBox::Yes) return;
  settings_.servers.Clear();
  RefreshServerBox();
  SQLServerComboBox->setEditText(QString());
  SQLServerComboBoxChange(QString());
  SaveCurrentState();
}

// ---------------------------------------------------------------------------------------------
// The report run

void TForm1::Connect() {
  if (worker_) return;
  if (const auto ended = connector_.Prepare()) {
    emit runFinished(*ended);
    return;
  }
  // The original could not be touched while it connected; here the run's controls are
  // disabled from the start, so that nothing starts a second run during a slow login.
  SetRunControlsEnabled(false);
  runHost_->ClearStopRequest();
  UpdateRunSettings();
  worker_.reset(QThread::create([this] {
    std::exception_ptr failure;
    try {
      connector_.Open();
    } catch (...) {
      failure = std::current_exception();
    }
    QMetaObject::invokeMethod(
        this, [this, failure] { RunEnded(failure); }, Qt::QueuedConnection);
  }));
  worker_->setObjectName("ReportRun");
  worker_->start();
}

void TForm1::RunEnded(std::exception_ptr failure) {
  if (worker_) {
    worker_->wait();
    worker_.reset();
  }
  if (closing_) return;
  const connection::ConnectOutcome outcome = connector_.Finish(failure);
  if (run_.ReportShown() == 1) WB->SetTag(1);
  RefreshServerBox();
  emit runFinished(outcome);
}

bool TForm1::StopRun(int timeoutMs) {
  runHost_->RequestStop();
  SQLServer_.Cancel();
  if (!worker_->wait(QDeadlineTimer(timeoutMs))) return false;
  worker_.reset();
  return true;
}

void TForm1::SetRunControlsEnabled(bool enabled) {
  for (QWidget* control : std::initializer_list<QWidget*>{
           SQLServerComboBox, SaveOutputBitBtn, ConnectBitBtn, CloseBitBtn, WinAuthCheckBox}) {
    control->setEnabled(enabled);
  }
  PrintPreviewButton->setVisible(enabled);
}

void TForm1::StartProgress() {
  JvXPProgressBar1->setEnabled(true);
  Timer1.start();
}

void TForm1::StopProgress() {
  Timer1.stop();
  JvXPProgressBar1->setValue(0);
  JvXPProgressBar1->setEnabled(false);
}

void TForm1::AppendToDebugWindow() {
  bool cleared = false;
  const QStringList entries = runHost_->TakeAppended(cleared);
  if (cleared) {
    debugLines_.clear();
    HTMLContainer->clear();
  }
  if (entries.isEmpty()) return;
  debugLines_ += entries;
  // A hidden debug window costs nothing: its text is filled in when it is shown.
  if (HTMLContainer->isVisible()) HTMLContainer->appendPlainText(entries.join(u'\n'));
}

// ---------------------------------------------------------------------------------------------
// connection::ConnectHost

std::string TForm1::ServerText() const {
  return ToStd(SQLServerComboBox->currentText());
}

bool TForm1::WindowsAuthentication() const {
  return WinAuthCheckBox->isChecked();
}

std::string TForm1::TimeoutText() const {
  return ToStd(TimeoutFieldText(*Settings->ConnectionTimeoutMaskEdit));
}

std::string TForm1::ProviderText() const {
  return ToStd(Settings->ProviderEdit->text());
}

connection::EncryptionOptions TForm1::Encryption() const {
  return Settings->CurrentEncryption();
}

std::optional<connection::LoginAnswer> TForm1::ShowLoginDialog(
    const connection::LoginPrompt& prompt) {
  QString userName = QString::fromStdString(prompt.userName);
  QString password;
  // The demo instance's login is offered, so that a first try needs no typing.
  if (!options_.demoServer.isEmpty() && SQLServerComboBox->currentText().trimmed().compare(
                                            options_.demoServer, Qt::CaseInsensitive) == 0) {
    if (userName.isEmpty()) userName = options_.demoLogin;
    if (userName.compare(options_.demoLogin, Qt::CaseInsensitive) == 0) {
      password = options_.demoPassword;
    }
  }
  LoginDialog dialog(this, QString::fromStdString(prompt.caption),
                     QString::fromStdString(prompt.title), userName, password);
  if (dialog.exec() != QDialog::Accepted) return std::nullopt;
  connection::LoginAnswer answer{ToStd(dialog.UserName()), ToStd(dialog.Password())};
  dialog.WipePassword();
  return answer;
}

void TForm1::ClearReportView() {
  WB->ShowEmptyPage();
}

void TForm1::ProcessEvents() {
  QCoreApplication::processEvents();
}

void TForm1::SetWaitCursor() {
  if (waitCursor_) return;
  QGuiApplication::setOverrideCursor(Qt::BusyCursor);
  waitCursor_ = true;
}

void TForm1::RestoreDefaultCursor() {
  if (!waitCursor_) return;
  QGuiApplication::restoreOverrideCursor();
  waitCursor_ = false;
}

void TForm1::ShowError(const std::string& message) {
  QMessageBox::critical(this, tr("Error"), QString::fromStdString(message));
}

void TForm1::RestoreIdleControls() {
  Timer1.stop();
  JvXPProgressBar1->setEnabled(false);
  SQLServerComboBox->setEnabled(true);
  ConnectBitBtn->setEnabled(true);
  CloseBitBtn->setEnabled(true);
  WinAuthCheckBox->setEnabled(true);
}

// ---------------------------------------------------------------------------------------------
// About, Donate, Help

void TForm1::ShowHelp() {
  PageControl1->setCurrentIndex(2);
}

void TForm1::ShowAbout() {
  AboutBox->exec();
}

void TForm1::DonateButtonClick() {
  options_.openUrl(QUrl(QString::fromLatin1(kDonationUrl)));
}

// ---------------------------------------------------------------------------------------------
// The report viewer, saving and the debug window

void TForm1::SaveOutput() {
  if (saveFolder_.isEmpty()) {
    saveFolder_ = viewer::InitialSaveFolder(
        QString::fromStdString(options_.settings.applicationFolder.string()),
        QString::fromStdString(settings_.lastReportPath), Settings->FileSavePathEdit->text());
  }
  const QString proposed =
      QString::fromStdString(report::ProposedReportName(ServerText(), run_.ReportStartTime()));
  const QString chosen = options_.chooseSaveFile(this, saveFolder_, proposed);
  if (chosen.isEmpty()) return;
  try {
    viewer::SaveReportFile(chosen, run_.HTMLContainer().Text());
  } catch (const std::exception& error) {
    QMessageBox::critical(this, tr("Error"), tr("The report was not saved.\n%1").arg(error.what()));
    return;
  }
  const QFileInfo saved(chosen);
  QString folder = QDir::toNativeSeparators(saved.absolutePath());
  if (!folder.endsWith(QDir::separator())) folder += QDir::separator();
  settings_.lastReportPath = ToStd(folder);
  saveFolder_ = folder;
  QMessageBox::information(
      this, tr("Information"),
      tr("Report saved to ") + QDir::toNativeSeparators(saved.absoluteFilePath()));
}

void TForm1::WBShowContextMenu(const QPoint& screenPos) {
  if (WB->Tag() != 1) return;
  QMenu WBPopupMenu(this);
  WBPopupMenu.setObjectName("WBPopupMenu");
  WBPopupMenu
      .addAction(tr("Select All"), this,
                 [this] { WB->triggerPageAction(QWebEnginePage::SelectAll); })
      ->setObjectName("SelectAll1");
  WBPopupMenu.addAction(tr("Copy"), this, [this] { WB->triggerPageAction(QWebEnginePage::Copy); })
      ->setObjectName("Copy1");
  WBPopupMenu.addSeparator();
  WBPopupMenu.addAction(tr("Print Preview"), this, &TForm1::PrintPreviewClick)
      ->setObjectName("PrintPreview1");
  WBPopupMenu.exec(screenPos);
}

void TForm1::PrintPreviewClick() {
  if (WB->ReportUrl().isEmpty()) return;
  if (WB->ShowingReportUnavailable()) {
    QMessageBox::information(this, tr("Print Preview"),
                             tr("The built-in viewer cannot show this report, so it cannot print "
                                "it either. Open it in your web browser to print it."));
    return;
  }
  const qint64 bytes = QFileInfo(WB->ReportUrl().toLocalFile()).size();
  if (bytes > viewer::kLargePrintBytes) {
    const auto answer = QMessageBox::question(
        this, tr("Print Preview"),
        tr("The report is %1 MB, about %2 printed pages. Preparing the preview may take minutes, "
           "and the viewer may run out of memory on a report this large. Continue?")
            .arg(static_cast<double>(bytes) / (1024.0 * 1024.0), 0, 'f', 1)
            .arg(viewer::EstimatedPages(bytes)),
        QMessageBox::Yes | QMessageBox::No, QMessageBox::No);
    if (answer != QMessageBox::Yes) return;
  }
  ShowHint(tr("Preparing the print preview..."));
  viewer::ShowPrintPreview(this, *WB->page(),
                           viewer::PageDecoration{WB->title(), WB->url().toString(),
                                                  QLocale::system().toString(
                                                      QDate::currentDate(), QLocale::ShortFormat)});
}

void TForm1::DebugSpeedButtonClick() {
  const bool show = DebugSpeedButton->property("tag").toInt() == 0;
  if (show) HTMLContainer->setPlainText(debugLines_.join(u'\n'));
  HTMLContainer->setVisible(show);
  if (show) HTMLContainer->raise();
  DebugSpeedButton->setProperty("tag", show ? 1 : 0);
}

}  // namespace quorvane::app
