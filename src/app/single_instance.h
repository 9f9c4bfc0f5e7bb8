#pragma once

#include <QObject>
#include <QString>

class QLocalServer;

namespace quorvane::app {

// At most one copy of the program per user and settings file. The first copy listens on a
// local socket; a later one hands over its command line there (the first copy ignores it but
// comes to the front) and ends. A socket left behind by a crashed copy is replaced.
class SingleInstance : public QObject {
  Q_OBJECT

 public:
  explicit SingleInstance(QString name, QObject* parent = nullptr);

  // True when this is the first copy (now listening); false when another copy was told.
  bool Claim(const QStringList& arguments);

  // The socket name for this user and settings file.
  static QString NameFor(const QString& settingsFile);

 signals:
  void activationRequested();

 private:
  QString name_;
  QLocalServer* server_ = nullptr;
};

}  // namespace quorvane::app
