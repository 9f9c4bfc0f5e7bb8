#include "app/single_instance.h"

#include <QCryptographicHash>
#include <QLocalServer>
#include <QLocalSocket>

#ifndef _WIN32
#include <unistd.h>
#endif

namespace quorvane::app {

namespace {

constexpr int kConnectTimeoutMs = 1000;

QString UserId() {
#ifdef _WIN32
  return qEnvironmentVariable("USERNAME");
#else
  return QString::number(::getuid());
#endif
}

}  // namespace

SingleInstance::SingleInstance(QString name, QObject* parent)
    : QObject(parent), name_(std::move(name)) {}

QString SingleInstance::NameFor(const QString& settingsFile) {
  const QByteArray hash =
      QCryptographicHash::hash(settingsFile.toUtf8(), QCryptographicHash::Sha1).toHex().left(12);
  return QStringLiteral("quorvane-%1-%2").arg(UserId(), QString::fromLatin1(hash));
}

bool SingleInstance::Claim(const QStringList& arguments) {
  QLocalSocket earlier;
  earlier.connectToServer(name_);
  if (earlier.waitForConnected(kConnectTimeoutMs)) {
    earlier.write(arguments.join(u'\n').toUtf8() + '\n');
    earlier.waitForBytesWritten(kConnectTimeoutMs);
    earlier.disconnectFromServer();
    return false;
  }
  server_ = new QLocalServer(this);
  server_->setSocketOptions(QLocalServer::UserAccessOption);
  if (!server_->listen(name_)) {
    // Nobody answered, so the socket is a crashed copy's leftover.
    QLocalServer::removeServer(name_);
    server_->listen(name_);
  }
  connect(server_, &QLocalServer::newConnection, this, [this] {
    while (QLocalSocket* later = server_->nextPendingConnection()) {
      connect(later, &QLocalSocket::disconnected, later, &QObject::deleteLater);
      later->readAll();  // the later copy's command line, which this copy ignores
      emit activationRequested();
    }
  });
  return true;
}

}  // namespace quorvane::app
