#pragma once

#include <QStringList>

namespace quorvane::app {

// Debug mode: "-d" or "/d" among the arguments after the program's name, in any letter case.
bool DebugSwitch(const QStringList& arguments);

}  // namespace quorvane::app
