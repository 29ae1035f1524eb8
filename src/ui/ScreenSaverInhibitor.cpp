#include "ui/ScreenSaverInhibitor.h"

#include "ui/DesktopLog.h"
#include "update/BuildInfo.h"

#include <QDBusError>
#include <QDBusMessage>
#include <QDBusPendingCallWatcher>
#include <QDBusPendingReply>

namespace {

// Long enough for a busy session; short enough that quitting never hangs on a stuck service.
constexpr int callTimeoutMs = 5000;

QDBusMessage screenSaverCall(const QString& method) {
    return QDBusMessage::createMethodCall(QStringLiteral("org.freedesktop.ScreenSaver"),
                                          QStringLiteral("/org/freedesktop/ScreenSaver"),
                                          QStringLiteral("org.freedesktop.ScreenSaver"), method);
}

const QString releaseFailed = QStringLiteral("The screen saver's inhibition was not released: ");

}  // namespace

ScreenSaverInhibitor::ScreenSaverInhibitor(const QDBusConnection& connection, QObject* parent)
    : QObject(parent), connection_(connection) {}

ScreenSaverInhibitor::~ScreenSaverInhibitor() {
    if (pending_) {
        // A cookie still on its way would keep the screen awake after the program ends. The
        // watcher would deliver its reply from within the wait; the reply is read here instead.
        disconnect(pending_, nullptr, this, nullptr);
        QDBusPendingReply<uint> reply = *pending_;
        reply.waitForFinished();
        if (reply.isValid())
            cookie_ = reply.value();
    }
    if (!cookie_)
        return;
    QDBusMessage call = screenSaverCall(QStringLiteral("UnInhibit"));
    call << *cookie_;
    const QDBusMessage reply = connection_.call(call, QDBus::Block, callTimeoutMs);
    if (reply.type() == QDBusMessage::ErrorMessage)
        logFailure(reply.errorName(), releaseFailed + reply.errorMessage());
}

void ScreenSaverInhibitor::setPlaying(bool playing) {
    if (playing == playing_)
        return;
    playing_ = playing;
    if (playing) {
        if (!cookie_ && !pending_)
            inhibit();
        return;
    }
    // A request on its way is released when its reply comes.
    if (cookie_)
        release();
}

void ScreenSaverInhibitor::inhibit() {
    QDBusMessage message = screenSaverCall(QStringLiteral("Inhibit"));
    message << QString::fromUtf8(BuildInfo::desktopId) << QStringLiteral("Playing a movie");
    pending_ = call(message, &ScreenSaverInhibitor::inhibitAnswered);
}

void ScreenSaverInhibitor::inhibitAnswered(const QDBusPendingCall& answer) {
    const QDBusPendingReply<uint> reply = answer;
    if (reply.isError()) {
        logFailure(reply.error().name(),
                   QStringLiteral("The screen may blank while the movie plays: ") + reply.error().message());
        return;
    }
    cookie_ = reply.value();
    // Playback stopped while the request was on its way.
    if (!playing_)
        release();
}

void ScreenSaverInhibitor::release() {
    QDBusMessage message = screenSaverCall(QStringLiteral("UnInhibit"));
    message << *cookie_;
    cookie_.reset();
    call(message, &ScreenSaverInhibitor::releaseAnswered);
}

void ScreenSaverInhibitor::releaseAnswered(const QDBusPendingCall& answer) {
    if (answer.isError())
        logFailure(answer.error().name(), releaseFailed + answer.error().message());
}

QDBusPendingCallWatcher* ScreenSaverInhibitor::call(const QDBusMessage& message, Answered answered) {
    const QDBusPendingCall reply = connection_.asyncCall(message, callTimeoutMs);
    // A disconnected connection fails the call at once and never signals a watcher. Any other
    // answer comes through the event loop, never from within setPlaying.
    if (reply.isFinished() && reply.error().type() == QDBusError::Disconnected) {
        (this->*answered)(reply);
        return nullptr;
    }
    auto* watcher = new QDBusPendingCallWatcher(reply, this);
    connect(watcher, &QDBusPendingCallWatcher::finished, this, [this, answered](QDBusPendingCallWatcher* done) {
        done->deleteLater();
        if (done == pending_)
            pending_ = nullptr;
        (this->*answered)(*done);
    });
    return watcher;
}

// One line per kind of error for the whole run: a desktop without the service would otherwise
// log at every start of playback.
void ScreenSaverInhibitor::logFailure(const QString& errorName, const QString& message) {
    if (loggedErrors_.contains(errorName))
        return;
    loggedErrors_.insert(errorName);
    qCWarning(lcDesktop).noquote() << message;
}
