#include "viewer/save_output.h"

#include <QDir>
#include <QSaveFile>
#include <stdexcept>

namespace quorvane::viewer {

void SaveReportFile(const QString& path, std::string_view text) {
  QSaveFile file(path);
  const auto fail = [&](const QString& what) {
    throw std::runtime_error(QStringLiteral("%1 %2: %3")
                                 .arg(what, QDir::toNativeSeparators(path), file.errorString())
                                 .toStdString());
  };
  if (!file.open(QIODevice::WriteOnly)) fail(QStringLiteral("Cannot create"));
  file.setPermissions(QFileDevice::ReadOwner | QFileDevice::WriteOwner);
  const auto size = static_cast<qint64>(text.size());
  if (file.write(text.data(), size) != size) {
    file.cancelWriting();
    fail(QStringLiteral("Cannot write"));
  }
  if (!file.commit()) fail(QStringLiteral("Cannot write"));
}

}  // namespace quorvane::viewer
