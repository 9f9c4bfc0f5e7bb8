#include "app/command_line.h"

namespace quorvane::app {

bool DebugSwitch(const QStringList& arguments) {
  for (qsizetype i = 1; i < arguments.size(); ++i) {
    const QString& a = arguments[i];
    if (a.size() == 2 && (a[0] == u'-' || a[0] == u'/') && a[1].toLower() == u'd') return true;
  }
  return false;
}

}  // namespace quorvane::app
