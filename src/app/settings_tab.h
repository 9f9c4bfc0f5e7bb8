#pragma once

#include <QLineEdit>
#include <QWidget>

#include "connection/encryption.h"

class QCheckBox;
class QComboBox;
class QGroupBox;
class QPushButton;
class QToolButton;

namespace quorvane::app {

// A digits-only field that holds a whole number from 1 to 1000: a larger value becomes 1000
// and a smaller or empty one 1 when the field loses the focus or its value is set.
class JobHistoryField : public QLineEdit {
  Q_OBJECT

 public:
  explicit JobHistoryField(QWidget* parent = nullptr);
  // Puts the clamped value into the field.
  void Clamp();

 protected:
  void focusOutEvent(QFocusEvent* event) override;
};

// The Settings tab: its controls, labels, hints and limits. The window reads and writes the
// controls; `changed` fires for every edit and click that makes the settings unsaved.
class SettingsTab : public QWidget {
  Q_OBJECT

 public:
  explicit SettingsTab(QWidget* parent = nullptr);

  // The encryption group: the mode and, for Mandatory only, whether the certificate is trusted.
  connection::EncryptMode EncryptMode() const;
  void SetEncryptMode(connection::EncryptMode mode);

  QPushButton* SaveSettingsBitBtn;
  QPushButton* DefaultSettingsBitBtn;
  QLineEdit* FileSavePathEdit;
  QToolButton* FileSavePathSpeedButton;
  QLineEdit* ConnectionTimeoutMaskEdit;
  QCheckBox* AllowCmdShellCheckBox;
  QCheckBox* AllowOACreateCheckBox;
  JobHistoryField* JobHistoryEdit;
  JobHistoryField* JobHistoryLimitEdit;
  QLineEdit* ProviderEdit;
  QCheckBox* IgnoreReplicationSectionCheckBox;
  QCheckBox* FindingsCheckBox;
  QGroupBox* EncryptionGroupBox;
  QComboBox* EncryptComboBox;
  QCheckBox* TrustServerCertificateCheckBox;

 signals:
  void changed();
};

}  // namespace quorvane::app
