#include "app/server_box.h"

#include <QKeyEvent>
#include <QLineEdit>
#include <QMenu>
#include <QSignalBlocker>
#include <QValidator>

namespace quorvane::app {

namespace {

// Shows every typed or pasted letter in capitals, as the server list stores names.
class UpperCaseValidator : public QValidator {
 public:
  using QValidator::QValidator;
  State validate(QString& input, int&) const override {
    input = input.toUpper();
    return Acceptable;
  }
};

}  // namespace

ServerBox::ServerBox(QWidget* parent) : QComboBox(parent) {
  setEditable(true);
  setInsertPolicy(QComboBox::NoInsert);
  setCompleter(nullptr);  // completion is done here, so that it counts as picking
  setMaxVisibleItems(16);
  lineEdit()->setValidator(new UpperCaseValidator(this));
  lineEdit()->installEventFilter(this);
  lineEdit()->setContextMenuPolicy(Qt::CustomContextMenu);
  setContextMenuPolicy(Qt::CustomContextMenu);
  connect(lineEdit(), &QLineEdit::customContextMenuRequested, this,
          [this](const QPoint& at) { ShowContextMenu(lineEdit()->mapToGlobal(at)); });
  connect(this, &QWidget::customContextMenuRequested, this,
          [this](const QPoint& at) { ShowContextMenu(mapToGlobal(at)); });
  connect(lineEdit(), &QLineEdit::textEdited, this, &ServerBox::OnTextEdited);
  connect(this, qOverload<int>(&QComboBox::activated), this, [this](int index) {
    lastTyped_ = currentText();
    emit entryPicked(index);
  });
}

void ServerBox::SetEntries(const QStringList& names) {
  const QSignalBlocker blocker(this);
  const QString text = currentText();
  clear();
  addItems(names);
  setCurrentIndex(static_cast<int>(names.indexOf(text)));
  setEditText(text);
}

void ServerBox::OnTextEdited(const QString& text) {
  const bool grew = text.size() > lastTyped_.size() && text.startsWith(lastTyped_);
  lastTyped_ = text;
  emit textEditedByUser(text);
  // Complete only while the user adds characters, so that deleting the completed part works.
  if (!grew || text.isEmpty() || !complete_ || lineEdit()->cursorPosition() != text.size()) {
    return;
  }
  const std::optional<int> index = complete_(text);
  if (!index) return;
  {
    const QSignalBlocker blocker(this);
    setCurrentIndex(*index);
  }
  const QString full = itemText(*index);
  lineEdit()->setText(full);
  lineEdit()->setSelection(static_cast<int>(full.size()),
                           -static_cast<int>(full.size() - text.size()));
  emit entryPicked(*index);
}

namespace {

bool IsEnter(const QEvent* event) {
  if (event->type() != QEvent::KeyPress) return false;
  const int key = static_cast<const QKeyEvent*>(event)->key();
  return key == Qt::Key_Return || key == Qt::Key_Enter;  // with any modifiers
}

}  // namespace

void ServerBox::keyPressEvent(QKeyEvent* event) {
  // Passed on unchanged afterwards; the combo box hands it to its line edit without the filter.
  if (IsEnter(event)) emit enterPressed();
  QComboBox::keyPressEvent(event);
}

bool ServerBox::eventFilter(QObject* watched, QEvent* event) {
  if (watched == lineEdit() && IsEnter(event)) emit enterPressed();
  return QComboBox::eventFilter(watched, event);
}

void ServerBox::ShowContextMenu(const QPoint& at) {
  QMenu menu(this);
  QAction* one = menu.addAction(tr("Remove Server from List"));
  one->setObjectName("RemoveServerfromList1");
  QAction* all = menu.addAction(tr("Remove All Servers from List"));
  all->setObjectName("RemoveAllServersfromList1");
  const QAction* chosen = menu.exec(at);
  if (chosen == one) emit removeServerRequested();
  if (chosen == all) emit removeAllServersRequested();
}

}  // namespace quorvane::app
