#pragma once

#include <QObject>
#include <QStringList>

class QLocalServer;

// One running window per user: a second launch hands its file arguments to the first over a
// local socket and exits. The socket lives in the user's runtime folder.
class SingleInstance : public QObject {
    Q_OBJECT
public:
    explicit SingleInstance(QString name = defaultName(), QObject* parent = nullptr);

    // Sends `files` to a running instance; true when one took them.
    bool handOver(const QStringList& files, int timeoutMs = 2000) const;
    // Starts listening for later launches; false when that was not possible.
    bool listen();

    static QString defaultName();

signals:
    void filesReceived(const QStringList& files);

private:
    QString name_;
    QLocalServer* server_ = nullptr;
};
