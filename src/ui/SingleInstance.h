#pragma once

#include <QObject>
#include <QStringList>
#include <memory>

class QLocalServer;
class QLockFile;

// One running window per user: a second launch hands its file arguments to the first over a
// local socket and exits. The socket lives in the user's runtime folder, guarded by a lock
// file, so that of two launches at the same moment exactly one becomes the window and no
// launch removes the socket of a live one.
class SingleInstance : public QObject {
    Q_OBJECT
public:
    explicit SingleInstance(QString name = defaultName(), QObject* parent = nullptr);
    ~SingleInstance() override;

    enum class Role { handedOver, primary };
    // Hands `files` to the running instance, or becomes it by taking the lock; listen() then
    // opens the socket once the application object exists. Waits at most `timeoutMs` for an
    // instance that holds the lock but does not answer yet.
    Role start(const QStringList& files, int timeoutMs = 5000);
    // Opens the socket for later launches; false when that was not possible.
    bool listen();

    // Sends `files` to a running instance; true when one took them and said so. Anything else
    // listening on the name, or a window that does not answer in time, takes nothing.
    bool handOver(const QStringList& files, int timeoutMs = 2000) const;

    static QString defaultName();

Q_SIGNALS:
    void filesReceived(const QStringList& files);

private:
    QString name_;
    std::unique_ptr<QLockFile> lock_;
    QLocalServer* server_ = nullptr;
};
