#pragma once

#include <QDBusConnection>
#include <QProcess>
#include <QStringList>
#include <QtGlobal>

// A session bus of the test's own: a dbus-daemon started for the test and stopped with it,
// so nothing reaches the desktop's bus and the test owns every name on it.
class PrivateBus {
public:
    PrivateBus() {
        daemon_.start(QStringLiteral("dbus-daemon"),
                      {QStringLiteral("--session"), QStringLiteral("--nofork"), QStringLiteral("--print-address")});
        if (!daemon_.waitForStarted())
            return;
        // The daemon prints its address once it listens.
        while (!daemon_.canReadLine() && daemon_.waitForReadyRead())
            ;
        address_ = QString::fromUtf8(daemon_.readLine()).trimmed();
    }

    ~PrivateBus() {
        for (const QString& name : names_)
            QDBusConnection::disconnectFromBus(name);
        daemon_.terminate();
        daemon_.waitForFinished();
    }

    PrivateBus(const PrivateBus&) = delete;
    PrivateBus& operator=(const PrivateBus&) = delete;

    bool isRunning() const { return !address_.isEmpty(); }
    // Why the daemon did not start.
    QString error() {
        return daemon_.errorString() + QStringLiteral(": ") + QString::fromUtf8(daemon_.readAllStandardError());
    }

    // A new connection to this bus; each is a peer of its own, like a separate program.
    QDBusConnection connect(const QString& purpose) {
        static int serial = 0;
        const QString name = QStringLiteral("%1-%2").arg(purpose).arg(++serial);
        names_ << name;
        return QDBusConnection::connectToBus(address_, name);
    }

private:
    QProcess daemon_;
    QString address_;
    QStringList names_;
};

// Keeps the messages of the "reelnook.desktop" category logged while it lives (on the GUI
// thread); other messages go on to the usual handler.
class DesktopLogCapture {
public:
    DesktopLogCapture() {
        current_ = this;
        previous_ = qInstallMessageHandler(&DesktopLogCapture::handle);
    }
    ~DesktopLogCapture() {
        qInstallMessageHandler(previous_);
        current_ = nullptr;
    }
    DesktopLogCapture(const DesktopLogCapture&) = delete;
    DesktopLogCapture& operator=(const DesktopLogCapture&) = delete;

    QStringList lines;

private:
    static void handle(QtMsgType type, const QMessageLogContext& context, const QString& message) {
        if (current_ && context.category && qstrcmp(context.category, "reelnook.desktop") == 0)
            current_->lines << message;
        else if (previous_)
            previous_(type, context, message);
    }

    inline static DesktopLogCapture* current_ = nullptr;
    inline static QtMessageHandler previous_ = nullptr;
};
