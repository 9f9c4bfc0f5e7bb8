#include "app/hints.h"

#include <QWidget>

#include "shell/hints.h"

namespace quorvane::app {

void SetHint(QWidget* control, const QString& hint) {
  control->setStatusTip(QString::fromStdString(shell::LongHint(hint.toStdString())));
}

}  // namespace quorvane::app
