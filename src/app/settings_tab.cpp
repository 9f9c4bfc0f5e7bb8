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
#include "shell/hints.h"
#include "shell/settings_values.h"

namespace quorvane::app {

JobHistoryField::JobHistoryField(QWidget* parent) : QLineEdit(parent) {
  setAlignment(Qt::AlignRight);
  setValidator(new QRegularExpressionValidator(QRegularExpression("[0-9]{0,9}"), this));
}

void JobHistoryField::Clamp() {
  const QString clamped =
      QString::fromStdString(shell::ClampedJobHistoryText(text().toStdString()));
  if (text() != clamped) setText(clamped);
}

void JobHistoryField::focusOutEvent(QFocusEvent* event) {
  Clamp();
  QLineEdit::focusOutEvent(event);
}

namespace {

namespace design = shell::settings_tab;

QLabel* Label(QWidget* parent, DesignLayout& layout, const shell::ControlDesign& field,
              QWidget* buddy) {
  auto* label = new QLabel(DesignText(field.caption), parent);
  label->setBuddy(buddy);
  layout.Place(label, design::LabelPlace(field.place));
  return label;
}

}  // namespace

SettingsTab::SettingsTab(QWidget* parent) : QWidget(parent) {
  setObjectName("SettingsTab");
  auto* layout = new DesignLayout(this, QSize(shell::kTabDesignWidth, shell::kTabDesignHeight));

  SaveSettingsBitBtn =
      layout->Add(new QPushButton(style()->standardIcon(QStyle::SP_DialogSaveButton),
                                  DesignText(design::kSaveSettings.caption), this),
                  design::kSaveSettings);
  SaveSettingsBitBtn->setEnabled(false);

  DefaultSettingsBitBtn =
      layout->Add(new QPushButton(DesignText(design::kDefaultSettings.caption), this),
                  design::kDefaultSettings);

  FileSavePathEdit = layout->Add(new QLineEdit(this), design::kReportPath);
  FileSavePathEdit->setReadOnly(true);
  Label(this, *layout, design::kReportPath, FileSavePathEdit);

  FileSavePathSpeedButton = layout->Add(new QToolButton(this), design::kReportPathButton);
  FileSavePathSpeedButton->setIcon(style()->standardIcon(QStyle::SP_DirOpenIcon));
  FileSavePathSpeedButton->setToolTip(DesignText(shell::ShortHint(design::kReportPathButton.hint)));

  ConnectionTimeoutMaskEdit = layout->Add(new QLineEdit(this), design::kTimeout);
  // Up to three optional digits; unfilled positions show as "_".
  ConnectionTimeoutMaskEdit->setInputMask("000;_");
  Label(this, *layout, design::kTimeout, ConnectionTimeoutMaskEdit);

  AllowCmdShellCheckBox = layout->Add(
      new QCheckBox(DesignText(design::kAllowCmdShell.caption), this), design::kAllowCmdShell);
  AllowOACreateCheckBox = layout->Add(
      new QCheckBox(DesignText(design::kAllowOACreate.caption), this), design::kAllowOACreate);

  JobHistoryEdit = layout->Add(new JobHistoryField(this), design::kJobHistory);
  Label(this, *layout, design::kJobHistory, JobHistoryEdit);
  JobHistoryLimitEdit = layout->Add(new JobHistoryField(this), design::kJobHistoryLimit);
  Label(this, *layout, design::kJobHistoryLimit, JobHistoryLimitEdit);

  ProviderEdit = layout->Add(new QLineEdit(this), design::kProvider);
  Label(this, *layout, design::kProvider, ProviderEdit);

  IgnoreReplicationSectionCheckBox =
      layout->Add(new QCheckBox(DesignText(design::kIgnoreReplication.caption), this),
                  design::kIgnoreReplication);
  FindingsCheckBox =
      layout->Add(new QCheckBox(DesignText(design::kFindings.caption), this), design::kFindings);

  EncryptionGroupBox = layout->Add(
      new QGroupBox(DesignText(design::kEncryptionGroup.caption), this), design::kEncryptionGroup);
  auto* group = new QGridLayout(EncryptionGroupBox);
  group->setContentsMargins(8, 4, 8, 4);
  EncryptComboBox = new QComboBox(EncryptionGroupBox);
  EncryptComboBox->setObjectName(DesignText(design::kEncrypt.name));
  for (const auto mode : {connection::EncryptMode::kOptional, connection::EncryptMode::kMandatory,
                          connection::EncryptMode::kStrict}) {
    const std::string_view name = connection::EncryptModeName(mode);
    EncryptComboBox->addItem(QString::fromUtf8(name.data(), static_cast<qsizetype>(name.size())),
                             static_cast<int>(mode));
  }
  SetHint(EncryptComboBox, DesignText(design::kEncrypt.hint));
  auto* encryptLabel = new QLabel(DesignText(design::kEncrypt.caption), EncryptionGroupBox);
  encryptLabel->setBuddy(EncryptComboBox);
  group->addWidget(encryptLabel, 0, 0);
  group->addWidget(EncryptComboBox, 0, 1);
  group->setColumnStretch(2, 1);
  TrustServerCertificateCheckBox =
      new QCheckBox(DesignText(design::kTrustServerCertificate.caption), EncryptionGroupBox);
  TrustServerCertificateCheckBox->setObjectName(DesignText(design::kTrustServerCertificate.name));
  SetHint(TrustServerCertificateCheckBox, DesignText(design::kTrustServerCertificate.hint));
  group->addWidget(TrustServerCertificateCheckBox, 1, 0, 1, 3);
  TrustServerCertificateCheckBox->setEnabled(false);
  connect(EncryptComboBox, &QComboBox::currentIndexChanged, this, [this] {
    TrustServerCertificateCheckBox->setEnabled(shell::TrustOffered(EncryptMode()));
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

connection::EncryptMode SettingsTab::EncryptMode() const {
  return static_cast<connection::EncryptMode>(EncryptComboBox->currentData().toInt());
}

void SettingsTab::SetEncryptMode(connection::EncryptMode mode) {
  EncryptComboBox->setCurrentIndex(EncryptComboBox->findData(static_cast<int>(mode)));
}

}  // namespace quorvane::app
