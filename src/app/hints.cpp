#include "app/hints.h"

#include <QWidget>

namespace quorvane::app {

QString LongHint(const QString& hint) {
  const qsizetype bar = hint.indexOf(u'|');
  return bar < 0 ? hint : hint.mid(bar + 1);
}

QString ShortHint(const QString& hint) {
  const qsizetype bar = hint.indexOf(u'|');
  return bar < 0 ? hint : hint.left(bar);
}

void SetHint(QWidget* control, const QString& hint) {
  control->setStatusTip(LongHint(hint));
}

}  // namespace quorvane::app
