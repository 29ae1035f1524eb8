#include "ui/SingleInstance.h"

#include <QDataStream>
#include <QElapsedTimer>
#include <QLocalServer>
#include <QLocalSocket>
#include <QLockFile>
#include <QStandardPaths>
#include <QThread>

namespace {

// What the window answers once it has read a launch's files.
constexpr char acknowledgement[] = {'R', 'N', 'O', 'K'};

}  // namespace

SingleInstance::SingleInstance(QString name, QObject* parent)
    : QObject(parent), name_(std::move(name)), lock_(std::make_unique<QLockFile>(name_ + QStringLiteral(".lock"))) {
    // The lock is stale only when its process is gone, however long a window runs.
    lock_->setStaleLockTime(0);
}

SingleInstance::~SingleInstance() = default;

QString SingleInstance::defaultName() {
    QString runtime = QStandardPaths::writableLocation(QStandardPaths::RuntimeLocation);
    if (runtime.isEmpty())
        runtime = QStandardPaths::writableLocation(QStandardPaths::TempLocation);
    return runtime + QStringLiteral("/reelnook.socket");
}

SingleInstance::Role SingleInstance::start(const QStringList& files, int timeoutMs) {
    QElapsedTimer waited;
    waited.start();
    for (;;) {
        if (handOver(files, 1000))
            return Role::handedOver;
        // Whoever holds the lock is the window; a launch that gets it may clear a socket left
        // by a crashed run, since no live instance can own it.
        if (lock_->tryLock(0))
            return Role::primary;
        if (waited.elapsed() > timeoutMs) {
            qWarning("The running window does not answer on %s; opening a window of its own", qUtf8Printable(name_));
            return Role::primary;
        }
        // Another launch holds the lock and is about to listen.
        QThread::msleep(20);
    }
}

bool SingleInstance::handOver(const QStringList& files, int timeoutMs) const {
    QLocalSocket socket;
    socket.connectToServer(name_);
    if (!socket.waitForConnected(timeoutMs))
        return false;
    QByteArray message;
    QDataStream out(&message, QIODevice::WriteOnly);
    out << files;
    socket.write(message);
    // The window answers once it has read the message; anything else listening on the name
    // (another program, a window that hangs) took nothing.
    QElapsedTimer waited;
    waited.start();
    while (socket.bytesAvailable() < qint64(sizeof acknowledgement)) {
        const int left = timeoutMs - int(waited.elapsed());
        if (left <= 0 || !socket.waitForReadyRead(left)) {
            qWarning("Nothing took the files on %s", qUtf8Printable(name_));
            return false;
        }
    }
    return socket.read(sizeof acknowledgement) == QByteArray(acknowledgement, sizeof acknowledgement);
}

bool SingleInstance::listen() {
    if (!lock_->isLocked())
        return false;  // another window owns the name
    server_ = new QLocalServer(this);
    server_->setSocketOptions(QLocalServer::UserAccessOption);
    QLocalServer::removeServer(name_);
    if (!server_->listen(name_)) {
        qWarning("Cannot listen on %s: later launches open their own window", qUtf8Printable(name_));
        return false;
    }
    connect(server_, &QLocalServer::newConnection, this, [this] {
        while (QLocalSocket* socket = server_->nextPendingConnection()) {
            connect(socket, &QLocalSocket::disconnected, socket, &QObject::deleteLater);
            connect(socket, &QLocalSocket::readyRead, socket, [this, socket] {
                QDataStream in(socket);
                in.startTransaction();
                QStringList files;
                in >> files;
                if (!in.commitTransaction())
                    return;  // wait for the rest of the message
                socket->write(acknowledgement, sizeof acknowledgement);
                socket->disconnectFromServer();
                Q_EMIT filesReceived(files);
            });
        }
    });
    return true;
}
