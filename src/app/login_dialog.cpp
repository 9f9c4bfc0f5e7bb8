#include "app/login_dialog.h"

#include <QDialogButtonBox>
#include <QFormLayout>
#include <QLabel>
#include <QLineEdit>
#include <QProxyStyle>
#include <QPushButton>
#include <QVBoxLayout>

namespace quorvane::app {

namespace {

// The password field's echo character.
class HashPasswordStyle : public QProxyStyle {
 public:
  int styleHint(StyleHint hint, const QStyleOption* option, const QWidget* widget,
                QStyleHintReturn* result) const override {
    if (hint == SH_LineEdit_PasswordCharacter) return '#';
    return QProxyStyle::styleHint(hint, option, widget, result);
  }
};

}  // namespace

LoginDialog::LoginDialog(QWidget* parent, const shell::LoginRequest& request) : QDialog(parent) {
  setObjectName("JvLoginDialog1");
  setWindowTitle(QString::fromStdString(request.caption));
  setModal(true);
  setWindowFlag(Qt::WindowContextHelpButtonHint, false);

  auto* titleLabel = new QLabel(QString::fromStdString(request.title), this);
  titleLabel->setObjectName("TitleLabel");
  QFont bold = titleLabel->font();
  bold.setBold(true);
  titleLabel->setFont(bold);
  auto* hintLabel =
      new QLabel(tr("Type your user name and password to enter the application"), this);
  hintLabel->setObjectName("HintLabel");

  userName_ = new QLineEdit(QString::fromStdString(request.userName), this);
  userName_->setObjectName("UserNameEdit");
  password_ = new QLineEdit(QString::fromStdString(request.password), this);
  password_->setObjectName("PasswordEdit");
  password_->setEchoMode(QLineEdit::Password);
  auto* style = new HashPasswordStyle;
  style->setParent(this);
  password_->setStyle(style);

  auto* fields = new QFormLayout;
  auto* userLabel = new QLabel(tr("&User name:"), this);
  userLabel->setBuddy(userName_);
  auto* passwordLabel = new QLabel(tr("&Password:"), this);
  passwordLabel->setBuddy(password_);
  fields->addRow(userLabel, userName_);
  fields->addRow(passwordLabel, password_);

  auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
  buttons->button(QDialogButtonBox::Ok)->setObjectName("OKButton");
  buttons->button(QDialogButtonBox::Ok)->setDefault(true);
  buttons->button(QDialogButtonBox::Cancel)->setObjectName("CancelButton");
  connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
  connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);

  auto* layout = new QVBoxLayout(this);
  layout->addWidget(titleLabel);
  layout->addWidget(hintLabel);
  layout->addLayout(fields);
  layout->addWidget(buttons);
  setMinimumWidth(360);

  (request.focusPassword ? password_ : userName_)->setFocus();
}

QString LoginDialog::UserName() const {
  return userName_->text();
}

QString LoginDialog::Password() const {
  return password_->text();
}

void LoginDialog::WipePassword() {
  password_->setText(QString(password_->text().size(), u'\0'));
  password_->clear();
}

}  // namespace quorvane::app
