#pragma once

#include <QDBusConnection>
#include <QObject>
#include <QSet>
#include <QString>
#include <optional>

class QDBusMessage;
class QDBusPendingCall;
class QDBusPendingCallWatcher;

// Keeps the screen from blanking while a movie plays, through the desktop's
// org.freedesktop.ScreenSaver service on the session bus. The window tells it whether the
// player plays; it holds one inhibition at most and releases it when playback stops and when
// it is destroyed. Without the service it logs one line and tries again only at the next start
// of playback. Everything runs on the GUI thread.
class ScreenSaverInhibitor : public QObject {
    Q_OBJECT
public:
    explicit ScreenSaverInhibitor(const QDBusConnection& connection, QObject* parent = nullptr);
    // Releases a held inhibition, waiting for the bus: it runs at quit.
    ~ScreenSaverInhibitor() override;

    // The service granted the inhibition and it is not released yet.
    bool isHeld() const { return cookie_.has_value(); }
    // The request for an inhibition awaits its reply.
    bool isRequesting() const { return pending_ != nullptr; }

public Q_SLOTS:
    // true while the player plays. Repeating a value changes nothing, so a failed request is
    // retried only after playback stopped and started again.
    void setPlaying(bool playing);

private:
    using Answered = void (ScreenSaverInhibitor::*)(const QDBusPendingCall&);

    void inhibit();
    void inhibitAnswered(const QDBusPendingCall& answer);
    void release();
    void releaseAnswered(const QDBusPendingCall& answer);
    // Sends `message` and hands its reply to `answered`: at once when there is no bus, else from
    // the event loop. Returns the watcher of a call on its way.
    QDBusPendingCallWatcher* call(const QDBusMessage& message, Answered answered);
    void logFailure(const QString& errorName, const QString& message);

    QDBusConnection connection_;
    bool playing_ = false;
    QSet<QString> loggedErrors_;
    std::optional<uint> cookie_;
    QDBusPendingCallWatcher* pending_ = nullptr;
};
