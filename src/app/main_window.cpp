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
#include "report/report_file.h"
#include "report/report_name.h"
#include "shell/hints.h"
#include "viewer/print_preview.h"
#include "viewer/report_view.h"
#include "viewer/save_output.h"

namespace quorvane::app {

namespace {

constexpr QSize kDesignClientSize{752, 537};
constexpr QPoint kDesignPosition{221, 186};
// The report tab's area at the design size; the view fills it.
constexpr QSize kReportTabDesignSize{shell::kTabDesignWidth, shell::kTabDesignHeight};
// Closing waits this long for a running report to stop.
constexpr int kStopTimeoutMs = 1500;

QPushButton* Button(QWidget* parent, const shell::ControlDesign& design,
                    QStyle::StandardPixmap picture = QStyle::SP_CustomBase) {
  auto* button = new QPushButton(DesignText(design.caption), parent);
  if (picture != QStyle::SP_CustomBase) button->setIcon(parent->style()->standardIcon(picture));
  return button;
}

shell::WindowCoreOptions CoreOptions(const WindowOptions& window) {
  shell::WindowCoreOptions options;
  options.debugMode = window.debugMode;
  options.settings = window.settings;
  options.temporaryReportFile = window.temporaryReportFile;
  if (!window.demoServer.isEmpty()) {
    options.demo =
        shell::DemoInstance{window.demoServer.toStdString(), window.demoLogin.toStdString(),
                            window.demoPassword.toStdString()};
  }
  options.freetds = window.freetds;
  options.installedDrivers = data::InstalledOdbcDrivers;
  options.writeSavedReport = [](const std::string& path, std::string_view text) {
    viewer::SaveReportFile(QString::fromStdString(path), text);
  };
  options.stopTimeoutMs = kStopTimeoutMs;
  return options;
}

QString FromStd(const std::string& text) {
  return QString::fromStdString(text);
}

std::string ToStd(const QString& text) {
  return text.toStdString();
}

}  // namespace

TForm1::TForm1(WindowOptions options, QWidget* parent)
    : QMainWindow(parent),
      options_(std::move(options)),
      core_(std::make_unique<shell::WindowCore>(static_cast<shell::WindowView&>(*this),
                                                static_cast<shell::UiPoster&>(*this), SQLServer_,
                                                CoreOptions(options_))) {
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
  setWindowTitle(DesignText(shell::kMainWindowCaption));
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
  PageControl1->addTab(reportTab, style()->standardIcon(QStyle::SP_ComputerIcon),
                       DesignText(shell::kTabCaptions[0]));
  Settings = new SettingsTab;
  PageControl1->addTab(Settings, style()->standardIcon(QStyle::SP_FileDialogDetailedView),
                       DesignText(shell::kTabCaptions[1]));
  auto* helpTab = new QWidget;
  helpTab->setObjectName("HelpTabSheet");
  auto* helpLayout = new QVBoxLayout(helpTab);
  helpLayout->setContentsMargins(4, 3, 4, 4);
  JvRichEdit1 = new HelpView(helpTab, [this](const QUrl& url) { options_.openUrl(url); });
  helpLayout->addWidget(JvRichEdit1);
  PageControl1->addTab(helpTab, style()->standardIcon(QStyle::SP_DialogHelpButton),
                       DesignText(shell::kTabCaptions[2]));

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
  ConnectSignals();

  auto* f1 = new QShortcut(QKeySequence(Qt::Key_F1), this);
  f1->setObjectName("HelpShortcut");
  f1->setContext(Qt::ApplicationShortcut);
  connect(f1, &QShortcut::activated, this, &TForm1::ShowHelp);

  resize(kDesignClientSize);
  move(kDesignPosition);
}

TForm1::~TForm1() {
  // The core stops a run still going while the widgets it reports to exist.
  core_.reset();
}

void TForm1::BuildReportTab(QWidget* tab) {
  namespace design = shell::report_tab;
  auto* layout = new DesignLayout(tab, kReportTabDesignSize);

  SQLServerComboBox = layout->Add(new ServerBox(tab), design::kServerBox);
  SetHint(SQLServerComboBox->lineEdit(), DesignText(design::kServerBox.hint));

  WinAuthCheckBox =
      layout->Add(new QCheckBox(DesignText(design::kWindowsAuthentication.caption), tab),
                  design::kWindowsAuthentication);
  WinAuthCheckBox->setChecked(true);

  ConnectBitBtn =
      layout->Add(Button(tab, design::kConnect, QStyle::SP_DialogApplyButton), design::kConnect);
  ConnectBitBtn->setEnabled(false);

  SaveOutputBitBtn = layout->Add(Button(tab, design::kSaveOutput, QStyle::SP_DialogSaveButton),
                                 design::kSaveOutput);
  SaveOutputBitBtn->setEnabled(false);

  PrintPreviewButton = layout->Add(new QToolButton(tab), design::kPrintPreview);
  PrintPreviewButton->setIcon(style()->standardIcon(QStyle::SP_FileDialogContentsView));
  PrintPreviewButton->hide();

  DonateButton = layout->Add(Button(tab, design::kDonate), design::kDonate);

  DebugSpeedButton = layout->Add(new QToolButton(tab), design::kDebug);
  DebugSpeedButton->setText(DesignText(design::kDebug.caption));
  DebugSpeedButton->setStyleSheet("QToolButton { color: red; font-weight: bold; }");
  DebugSpeedButton->setProperty("tag", 0);
  DebugSpeedButton->hide();

  AboutBitBtn =
      layout->Add(Button(tab, design::kAbout, QStyle::SP_MessageBoxInformation), design::kAbout);
  CloseBitBtn =
      layout->Add(Button(tab, design::kClose, QStyle::SP_DialogCloseButton), design::kClose);

  WB = new viewer::ReportView(tab);
  WB->SetExternalOpener([this](const QUrl& url) { options_.openUrl(url); });
  WB->SetContextMenuHandler([this](const QPoint& at) { WBShowContextMenu(at); });
  layout->Place(WB, design::kReportView.place, design::kReportView.anchors);

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

  connect(SQLServerComboBox, &ServerBox::textEditedByUser, this,
          [this](const QString& text) { core_->ServerTextEdited(ToStd(text)); });
  connect(SQLServerComboBox, &ServerBox::entryPicked, this, [this](int index) {
    if (index >= 0) core_->ServerPicked(static_cast<std::size_t>(index));
  });
  connect(SQLServerComboBox, &ServerBox::enterPressed, this, &TForm1::Connect);
  connect(SQLServerComboBox, &ServerBox::removeServerRequested, this,
          [this] { core_->RemoveServer(); });
  connect(SQLServerComboBox, &ServerBox::removeAllServersRequested, this,
          [this] { core_->RemoveAllServers(); });
  SQLServerComboBox->SetCompleter([this](const QString& typed) -> std::optional<int> {
    const auto index = core_->Complete(ToStd(typed));
    if (!index) return std::nullopt;
    return static_cast<int>(*index);
  });
  connect(WinAuthCheckBox, &QCheckBox::toggled, this,
          [this] { core_->WindowsAuthenticationClicked(); });

  connect(Settings, &SettingsTab::changed, this, [this] { core_->SettingsEdited(); });
  connect(Settings->SaveSettingsBitBtn, &QPushButton::clicked, this,
          [this] { core_->SaveSettings(); });
  connect(Settings->DefaultSettingsBitBtn, &QPushButton::clicked, this,
          [this] { core_->DefaultSettings(); });
  connect(Settings->FileSavePathSpeedButton, &QToolButton::clicked, this,
          &TForm1::FileSavePathSpeedButtonClick);

  connect(&Timer1, &QTimer::timeout, this,
          [this] { JvXPProgressBar1->setValue(report::Timer1Timer(JvXPProgressBar1->value())); });
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
  const shell::StartPlacement placed = core_->FirstShow(
      {y(), x(), height(), width()},
      [](std::optional<std::pair<int, int>> point) -> std::optional<shell::ScreenArea> {
        QScreen* screen = point ? QGuiApplication::screenAt(QPoint(point->first, point->second))
                                : QGuiApplication::primaryScreen();
        if (!screen) return std::nullopt;
        const QRect area = screen->availableGeometry();
        return shell::ScreenArea{area.left(), area.top(), area.width(), area.height()};
      });
  setMinimumSize(kDesignClientSize);
  if (placed.maximized) {
    setWindowState(windowState() | Qt::WindowMaximized);
  } else {
    move(placed.area.left, placed.area.top);
    resize(placed.area.width, placed.area.height);
  }
  JvRichEdit1->LoadHelp();
  PageControl1->setCurrentIndex(0);
  // First in the tab order: typing a server and Enter is all a report takes.
  SQLServerComboBox->setFocus(Qt::OtherFocusReason);
}

void TForm1::closeEvent(QCloseEvent* event) {
  core_->Close();
  event->accept();
}

bool TForm1::event(QEvent* event) {
  if (event->type() == QEvent::StatusTip) {
    ShowHint(static_cast<QStatusTipEvent*>(event)->tip());
    return true;
  }
  return QMainWindow::event(event);
}

void TForm1::ShowHint(const QString& hint) {
  core_->SetStatusText(ToStd(hint));
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

void TForm1::FileSavePathSpeedButtonClick() {
  core_->ReportFolderChosen(ToStd(FolderDialog::Choose(this, Settings->FileSavePathEdit->text())));
}

void TForm1::Post(std::function<void()> task) {
  QMetaObject::invokeMethod(this, std::move(task), Qt::QueuedConnection);
}

// ---------------------------------------------------------------------------------------------
// shell::WindowView

void TForm1::ApplyEnabling(const shell::ReportTabEnabling& enabling) {
  SQLServerComboBox->setEnabled(enabling.serverBox);
  WinAuthCheckBox->setEnabled(enabling.windowsAuthentication);
  ConnectBitBtn->setEnabled(enabling.connect);
  SaveOutputBitBtn->setEnabled(enabling.saveOutput);
  CloseBitBtn->setEnabled(enabling.close);
  PrintPreviewButton->setVisible(enabling.printPreviewVisible);
  WB->SetTag(enabling.reportMenu ? 1 : 0);
}

std::string TForm1::ServerText() const {
  return ToStd(SQLServerComboBox->currentText());
}

void TForm1::SetServerText(const std::string& text) {
  SQLServerComboBox->setEditText(FromStd(text));
}

void TForm1::SetServerEntries(const std::vector<std::string>& names) {
  QStringList entries;
  for (const std::string& name : names) entries << FromStd(name);
  SQLServerComboBox->SetEntries(entries);
}

bool TForm1::WindowsAuthentication() const {
  return WinAuthCheckBox->isChecked();
}

void TForm1::SetWindowsAuthentication(bool ticked, bool notify) {
  const QSignalBlocker blocker(notify ? nullptr : WinAuthCheckBox);
  WinAuthCheckBox->setChecked(ticked);
}

void TForm1::ShowDebugButton(bool visible) {
  DebugSpeedButton->setVisible(visible);
}

void TForm1::ShowEmptyPage() {
  WB->ShowEmptyPage();
}

void TForm1::Navigate(const std::string& url) {
  WB->Navigate(QUrl(FromStd(url)));
}

void TForm1::AppendDebugText(const std::vector<std::string>& entries, bool cleared) {
  if (cleared) {
    debugLines_.clear();
    HTMLContainer->clear();
  }
  if (entries.empty()) return;
  QStringList added;
  added.reserve(static_cast<qsizetype>(entries.size()));
  for (const std::string& entry : entries) added << FromStd(entry);
  debugLines_ += added;
  // A hidden debug window costs nothing: its text is filled in when it is shown.
  if (HTMLContainer->isVisible()) HTMLContainer->appendPlainText(added.join(u'\n'));
}

shell::SettingsValues TForm1::SettingsTabValues() const {
  shell::SettingsValues values;
  values.reportPath = ToStd(Settings->FileSavePathEdit->text());
  values.timeoutText = ToStd(Settings->ConnectionTimeoutMaskEdit->text());
  values.provider = ToStd(Settings->ProviderEdit->text());
  values.jobHistory = ToStd(Settings->JobHistoryEdit->text());
  values.jobHistoryLimit = ToStd(Settings->JobHistoryLimitEdit->text());
  values.allowCmdShell = Settings->AllowCmdShellCheckBox->isChecked();
  values.allowOACreate = Settings->AllowOACreateCheckBox->isChecked();
  values.ignoreReplicationSection = Settings->IgnoreReplicationSectionCheckBox->isChecked();
  values.findings = Settings->FindingsCheckBox->isChecked();
  values.encrypt = Settings->EncryptMode();
  values.trustServerCertificate = Settings->TrustServerCertificateCheckBox->isChecked();
  return values;
}

void TForm1::ShowSettingsTabValues(const shell::SettingsValues& values) {
  const QSignalBlocker blocker(Settings);
  const auto setText = [](QLineEdit* edit, const std::string& text) {
    if (edit->text() != FromStd(text)) edit->setText(FromStd(text));
  };
  setText(Settings->FileSavePathEdit, values.reportPath);
  setText(Settings->ConnectionTimeoutMaskEdit, values.timeoutText);
  setText(Settings->ProviderEdit, values.provider);
  setText(Settings->JobHistoryEdit, values.jobHistory);
  setText(Settings->JobHistoryLimitEdit, values.jobHistoryLimit);
  Settings->AllowCmdShellCheckBox->setChecked(values.allowCmdShell);
  Settings->AllowOACreateCheckBox->setChecked(values.allowOACreate);
  Settings->IgnoreReplicationSectionCheckBox->setChecked(values.ignoreReplicationSection);
  Settings->FindingsCheckBox->setChecked(values.findings);
  Settings->SetEncryptMode(values.encrypt);
  Settings->TrustServerCertificateCheckBox->setChecked(values.trustServerCertificate);
}

void TForm1::SetSaveSettingsEnabled(bool enabled) {
  Settings->SaveSettingsBitBtn->setEnabled(enabled);
}

void TForm1::SetStatusText(const std::string& text) {
  StatusPanel->setText(FromStd(text));
}

void TForm1::SetProgress(shell::ProgressChange change) {
  if (change == shell::ProgressChange::kStart) {
    JvXPProgressBar1->setEnabled(true);
    Timer1.start();
    return;
  }
  Timer1.stop();
  if (change == shell::ProgressChange::kStopAndReset) JvXPProgressBar1->setValue(0);
  JvXPProgressBar1->setEnabled(false);
}

void TForm1::SetWaitCursor(bool on) {
  if (on) {
    QGuiApplication::setOverrideCursor(Qt::BusyCursor);
  } else {
    QGuiApplication::restoreOverrideCursor();
  }
}

void TForm1::ShowMessage(shell::MessageKind kind, const std::string& caption,
                         const std::string& text) {
  switch (kind) {
    case shell::MessageKind::kInformation:
      QMessageBox::information(this, FromStd(caption), FromStd(text));
      break;
    case shell::MessageKind::kWarning:
      QMessageBox::warning(this, FromStd(caption), FromStd(text));
      break;
    case shell::MessageKind::kError:
      QMessageBox::critical(this, FromStd(caption), FromStd(text));
      break;
  }
}

bool TForm1::AskYesNo(const std::string& caption, const std::string& text) {
  return QMessageBox::question(this, FromStd(caption), FromStd(text),
                               QMessageBox::Yes | QMessageBox::No,
                               QMessageBox::No) == QMessageBox::Yes;
}

std::optional<connection::LoginAnswer> TForm1::AskLogin(const shell::LoginRequest& request) {
  LoginDialog dialog(this, request);
  if (dialog.exec() != QDialog::Accepted) return std::nullopt;
  connection::LoginAnswer answer{ToStd(dialog.UserName()), ToStd(dialog.Password())};
  dialog.WipePassword();
  return answer;
}

std::optional<std::string> TForm1::ChooseSaveFile(const std::string& folder,
                                                  const std::string& proposedName) {
  const QString chosen = options_.chooseSaveFile(this, FromStd(folder), FromStd(proposedName));
  if (chosen.isEmpty()) return std::nullopt;
  return ToStd(chosen);
}

void TForm1::ProcessEvents() {
  QCoreApplication::processEvents();
}

shell::WindowGeometry TForm1::Geometry() const {
  return {isMaximized(), {y(), x(), height(), width()}};
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

void TForm1::WBShowContextMenu(const QPoint& screenPos) {
  if (!core_->Enabling().reportMenu) return;
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
