#pragma once

#include <QDialog>

class QLineEdit;
class QLabel;

namespace quorvane::app {

// `JvLoginDialog1`: asks for a SQL Server login. Every typed password character shows as "#";
// the focus starts in the password field when the user name is pre-filled.
class LoginDialog : public QDialog {
  Q_OBJECT

 public:
  LoginDialog(QWidget* parent, const QString& caption, const QString& title,
              const QString& userName, const QString& password = {});

  QString UserName() const;
  QString Password() const;
  // Overwrites the typed password in the field.
  void WipePassword();

 private:
  QLineEdit* userName_;
  QLineEdit* password_;
};

}  // namespace quorvane::app
