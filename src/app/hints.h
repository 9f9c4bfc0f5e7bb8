#pragma once

#include <QString>

class QWidget;

namespace quorvane::app {

// A hint is "short|long" or one text for both. The status bar shows the long part while the
// mouse is over the control.
QString LongHint(const QString& hint);
QString ShortHint(const QString& hint);

// Gives `control` its hint for the status bar; no tooltip (only the folder button has one).
void SetHint(QWidget* control, const QString& hint);

}  // namespace quorvane::app
