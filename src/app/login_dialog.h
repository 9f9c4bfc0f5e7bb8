#pragma once

#include <QDialog>

#include "shell/login_prefill.h"

class QLineEdit;
class QLabel;

namespace quorvane::app {

// `JvLoginDialog1`: asks for a SQL Server login, pre-filled and focused as the request says.
// Every typed password character shows as "#".
class LoginDialog : public QDialog {
  Q_OBJECT

 public:
  LoginDialog(QWidget* parent, const shell::LoginRequest& request);

  QString UserName() const;
  QString Password() const;
  // Overwrites the typed password in the field.
  void WipePassword();

 private:
  QLineEdit* userName_;
  QLineEdit* password_;
};

}  // namespace quorvane::app
