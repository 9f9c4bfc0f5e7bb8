#include "app/settings_tab.h"

#include <QCheckBox>
#include <QComboBox>
#include <QGridLayout>
#include <QGroupBox>
#include <QLabel>
#include <QPushButton>
#include <QRegularExpressionValidator>
#include <QStyle>
#include <QToolButton>

#include "app/design_layout.h"
#include "app/hints.h"
#include "connection/settings.h"

namespace quorvane::app {

JobHistoryField::JobHistoryField(QWidget* parent) : QLineEdit(parent) {
  setAlignment(Qt::AlignRight);
  setValidator(new QRegularExpressionValidator(QRegularExpression("[0-9]{0,9}"), this));
}

int JobHistoryField::Value() const {
  bool ok = false;
  const long long rows = text().toLongLong(&ok);
  if (!ok) return connection::kMinJobHistory;
  return connection::ClampJobHistory(static_cast<int>(std::min<long long>(rows, 1000000)));
}

void JobHistoryField::SetValue(int rows) {
  setText(QString::number(connection::ClampJobHistory(rows)));
}

void JobHistoryField::Clamp() {
  const QString clamped = QString::number(Value());
  if (text() != clamped) setText(clamped);
}

void JobHistoryField::focusOutEvent(QFocusEvent* event) {
  Clamp();
  QLineEdit::focusOutEvent(event);
}

QString TimeoutFieldText(const QLineEdit& field) {
  const QString digits = field.text().trimmed();
  return QString(3 - std::min<qsizetype>(digits.size(), 3), u' ') + digits;
}

void SetTimeoutFieldText(QLineEdit& field, const QString& text) {
  field.setText(text.trimmed());
}

namespace {

QLabel* Label(QWidget* parent, DesignLayout& layout, const QString& text, QWidget* buddy,
              QPoint at) {
  auto* label = new QLabel(text, parent);
  label->setBuddy(buddy);
  layout.Place(label, QRect(at, QSize(345, 16)));
  return label;
}

}  // namespace

SettingsTab::SettingsTab(QWidget* parent) : QWidget(parent) {
  setObjectName("SettingsTab");
  auto* layout = new DesignLayout(this, QSize(729, 464));

  SaveSettingsBitBtn = new QPushButton(style()->standardIcon(QStyle::SP_DialogSaveButton),
                                       tr("Save Settings"), this);
  SaveSettingsBitBtn->setObjectName("SaveSettingsBitBtn");
  SetHint(SaveSettingsBitBtn, tr("Save the settings."));
  SaveSettingsBitBtn->setEnabled(false);
  layout->Place(SaveSettingsBitBtn, {8, 8, 105, 25});

  DefaultSettingsBitBtn = new QPushButton(tr("Default Settings"), this);
  DefaultSettingsBitBtn->setObjectName("DefaultSettingsBitBtn");
  SetHint(DefaultSettingsBitBtn, tr("Return settings to default values."));
  layout->Place(DefaultSettingsBitBtn, {128, 8, 105, 25});

  FileSavePathEdit = new QLineEdit(this);
  FileSavePathEdit->setObjectName("FileSavePathEdit");
  FileSavePathEdit->setReadOnly(true);
  SetHint(FileSavePathEdit, tr("Set a default path to use when saving reports."));
  layout->Place(FileSavePathEdit, {8, 64, 345, 22});
  Label(this, *layout, tr("Default Report Output Path:"), FileSavePathEdit, {8, 48});

  FileSavePathSpeedButton = new QToolButton(this);
  FileSavePathSpeedButton->setObjectName("FileSavePathSpeedButton");
  FileSavePathSpeedButton->setIcon(style()->standardIcon(QStyle::SP_DirOpenIcon));
  const QString pathHint = tr("Change path|Change the path.");
  SetHint(FileSavePathSpeedButton, pathHint);
  FileSavePathSpeedButton->setToolTip(ShortHint(pathHint));
  layout->Place(FileSavePathSpeedButton, {360, 64, 23, 22});

  ConnectionTimeoutMaskEdit = new QLineEdit(this);
  ConnectionTimeoutMaskEdit->setObjectName("ConnectionTimeoutMaskEdit");
  // Up to three optional digits; unfilled positions show as "_".
  ConnectionTimeoutMaskEdit->setInputMask("000;_");
  SetHint(ConnectionTimeoutMaskEdit, tr("Connection timeout in seconds. (Default 15)"));
  layout->Place(ConnectionTimeoutMaskEdit, {8, 112, 34, 22});
  Label(this, *layout, tr("Timeout (Seconds):"), ConnectionTimeoutMaskEdit, {8, 96});

  AllowCmdShellCheckBox = new QCheckBox(tr("Allow queries using xp_cmdshell"), this);
  AllowCmdShellCheckBox->setObjectName("AllowCmdShellCheckBox");
  SetHint(AllowCmdShellCheckBox,
          tr("Allow queries using xp_cmdshell to gather server information."));
  layout->Place(AllowCmdShellCheckBox, {8, 152, 353, 17});

  AllowOACreateCheckBox =
      new QCheckBox(tr("Allow queries using OLE Automation (using sp_OACreate)"), this);
  AllowOACreateCheckBox->setObjectName("AllowOACreateCheckBox");
  SetHint(AllowOACreateCheckBox,
          tr("Allow queries using OLE Automation using sp_OACreate to fetch server information."));
  layout->Place(AllowOACreateCheckBox, {8, 176, 380, 17});

  JobHistoryEdit = new JobHistoryField(this);
  JobHistoryEdit->setObjectName("JobHistoryEdit");
  SetHint(JobHistoryEdit, tr("Number of rows to display for Job History. (Default 100)"));
  layout->Place(JobHistoryEdit, {8, 224, 49, 22});
  Label(this, *layout, tr("Job History Limit:"), JobHistoryEdit, {8, 208});

  JobHistoryLimitEdit = new JobHistoryField(this);
  JobHistoryLimitEdit->setObjectName("JobHistoryLimitEdit");
  SetHint(JobHistoryLimitEdit, tr("Number of rows to display for history of Job Failures and "
                                  "Long Running Jobs. (Default 20)"));
  layout->Place(JobHistoryLimitEdit, {8, 272, 49, 22});
  Label(this, *layout, tr("Other Job History Limit:"), JobHistoryLimitEdit, {8, 256});

  ProviderEdit = new QLineEdit(this);
  ProviderEdit->setObjectName("ProviderEdit");
  SetHint(ProviderEdit, tr("OLEDB provider name. (Default SQLOLEDB.1)"));
  layout->Place(ProviderEdit, {8, 320, 121, 22});
  Label(this, *layout, tr("Provider:"), ProviderEdit, {8, 304});

  IgnoreReplicationSectionCheckBox = new QCheckBox(tr("Don't get Replication details."), this);
  IgnoreReplicationSectionCheckBox->setObjectName("IgnoreReplicationSectionCheckBox");
  SetHint(IgnoreReplicationSectionCheckBox,
          tr("Ignore returning details for the Replication section."));
  layout->Place(IgnoreReplicationSectionCheckBox, {8, 360, 353, 17});

  FindingsCheckBox = new QCheckBox(tr("Findings section"), this);
  FindingsCheckBox->setObjectName("FindingsCheckBox");
  SetHint(FindingsCheckBox, tr("End the report with the risks found in what it gathered, each "
                               "linking to its evidence."));
  layout->Place(FindingsCheckBox, {376, 360, 345, 17});

  EncryptionGroupBox = new QGroupBox(tr("Encryption"), this);
  EncryptionGroupBox->setObjectName("EncryptionGroupBox");
  layout->Place(EncryptionGroupBox, {8, 388, 353, 70});
  auto* group = new QGridLayout(EncryptionGroupBox);
  group->setContentsMargins(8, 4, 8, 4);
  EncryptComboBox = new QComboBox(EncryptionGroupBox);
  EncryptComboBox->setObjectName("EncryptComboBox");
  for (const auto mode : {connection::EncryptMode::kOptional, connection::EncryptMode::kMandatory,
                          connection::EncryptMode::kStrict}) {
    const std::string_view name = connection::EncryptModeName(mode);
    EncryptComboBox->addItem(QString::fromUtf8(name.data(), static_cast<qsizetype>(name.size())),
                             static_cast<int>(mode));
  }
  SetHint(EncryptComboBox, tr("Optional encrypts when the server can; Mandatory always, and "
                              "checks the server's certificate; Strict uses TDS 8.0 (ODBC "
                              "Driver 18). (Default Optional)"));
  auto* encryptLabel = new QLabel(tr("Encrypt:"), EncryptionGroupBox);
  encryptLabel->setBuddy(EncryptComboBox);
  group->addWidget(encryptLabel, 0, 0);
  group->addWidget(EncryptComboBox, 0, 1);
  group->setColumnStretch(2, 1);
  TrustServerCertificateCheckBox =
      new QCheckBox(tr("Trust server certificate"), EncryptionGroupBox);
  TrustServerCertificateCheckBox->setObjectName("TrustServerCertificateCheckBox");
  SetHint(TrustServerCertificateCheckBox,
          tr("Accept the server's certificate without checking who issued it. (Mandatory only)"));
  group->addWidget(TrustServerCertificateCheckBox, 1, 0, 1, 3);
  // Optional never checks the certificate and Strict always does.
  TrustServerCertificateCheckBox->setEnabled(false);
  connect(EncryptComboBox, &QComboBox::currentIndexChanged, this, [this] {
    TrustServerCertificateCheckBox->setEnabled(EncryptMode() ==
                                               connection::EncryptMode::kMandatory);
    emit changed();
  });
  connect(TrustServerCertificateCheckBox, &QCheckBox::toggled, this, &SettingsTab::changed);

  for (QLineEdit* edit :
       {FileSavePathEdit, ConnectionTimeoutMaskEdit, static_cast<QLineEdit*>(JobHistoryEdit),
        static_cast<QLineEdit*>(JobHistoryLimitEdit), ProviderEdit}) {
    connect(edit, &QLineEdit::textChanged, this, &SettingsTab::changed);
  }
  for (QCheckBox* box : {AllowOACreateCheckBox, AllowCmdShellCheckBox,
                         IgnoreReplicationSectionCheckBox, FindingsCheckBox}) {
    connect(box, &QCheckBox::toggled, this, &SettingsTab::changed);
  }

  setTabOrder(SaveSettingsBitBtn, DefaultSettingsBitBtn);
  setTabOrder(DefaultSettingsBitBtn, FileSavePathEdit);
  setTabOrder(FileSavePathEdit, FileSavePathSpeedButton);
  setTabOrder(FileSavePathSpeedButton, ConnectionTimeoutMaskEdit);
  setTabOrder(ConnectionTimeoutMaskEdit, AllowCmdShellCheckBox);
  setTabOrder(AllowCmdShellCheckBox, AllowOACreateCheckBox);
  setTabOrder(AllowOACreateCheckBox, JobHistoryEdit);
  setTabOrder(JobHistoryEdit, JobHistoryLimitEdit);
  setTabOrder(JobHistoryLimitEdit, ProviderEdit);
  setTabOrder(ProviderEdit, IgnoreReplicationSectionCheckBox);
  setTabOrder(IgnoreReplicationSectionCheckBox, FindingsCheckBox);
  setTabOrder(FindingsCheckBox, EncryptComboBox);
  setTabOrder(EncryptComboBox, TrustServerCertificateCheckBox);
}

RunSettings SettingsTab::CurrentRunSettings() const {
  return RunSettings{AllowCmdShellCheckBox->isChecked(),
                     AllowOACreateCheckBox->isChecked(),
                     IgnoreReplicationSectionCheckBox->isChecked(),
                     JobHistoryEdit->Value(),
                     JobHistoryLimitEdit->Value(),
                     FindingsCheckBox->isChecked()};
}

connection::EncryptMode SettingsTab::EncryptMode() const {
  return static_cast<connection::EncryptMode>(EncryptComboBox->currentData().toInt());
}

void SettingsTab::SetEncryptMode(connection::EncryptMode mode) {
  EncryptComboBox->setCurrentIndex(EncryptComboBox->findData(static_cast<int>(mode)));
}

connection::EncryptionOptions SettingsTab::CurrentEncryption() const {
  connection::EncryptionOptions options;
  options.mode = EncryptMode();
  options.trustServerCertificate = options.mode == connection::EncryptMode::kMandatory &&
                                   TrustServerCertificateCheckBox->isChecked();
  return options;
}

}  // namespace quorvane::app
