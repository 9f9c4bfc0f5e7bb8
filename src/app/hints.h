#pragma once

#include <QString>

class QWidget;

namespace quorvane::app {

// Gives `control` its hint for the status bar (the long part, see shell/hints.h); no tooltip
// (only the folder button has one).
void SetHint(QWidget* control, const QString& hint);

}  // namespace quorvane::app
