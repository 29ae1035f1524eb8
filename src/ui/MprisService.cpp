#include "ui/MprisService.h"

#include "playback/Player.h"
#include "ui/DesktopLog.h"
#include "ui/MprisAdaptors.h"
#include "update/BuildInfo.h"

#include <QCryptographicHash>
#include <QDBusMessage>
#include <QMetaObject>
#include <algorithm>
#include <cmath>
#include <functional>

namespace {

const QString playerInterfaceName = QStringLiteral("org.mpris.MediaPlayer2.Player");

qlonglong microseconds(double seconds) { return std::isfinite(seconds) ? std::llround(seconds * 1e6) : 0; }

}  // namespace

MprisService::MprisService(QObject* parent) : QObject(parent) {
    new MprisRootAdaptor(this);  // the adaptors belong to this object
    playerInterface_ = new MprisPlayerAdaptor(this);
    announced_ = announcedProperties();
}

MprisService::~MprisService() {
    if (!registered_)
        return;
    connection_.unregisterService(busName());
    connection_.unregisterObject(objectPath());
}

QString MprisService::busName() {
    return QStringLiteral("org.mpris.MediaPlayer2.") + QLatin1String(BuildInfo::desktopId);
}

QString MprisService::objectPath() { return QStringLiteral("/org/mpris/MediaPlayer2"); }

QDBusObjectPath MprisService::trackId(const QUrl& url) {
    if (url.isEmpty())
        return QDBusObjectPath(QStringLiteral("/org/mpris/MediaPlayer2/TrackList/NoTrack"));
    // A path element takes only [A-Za-z0-9_], so the URL goes in as a hash.
    const QByteArray hash = QCryptographicHash::hash(url.toEncoded(), QCryptographicHash::Sha1).toHex().left(16);
    return QDBusObjectPath(QStringLiteral("/org/reelnook/track/") + QString::fromLatin1(hash));
}

bool MprisService::registerOn(const QDBusConnection& connection) {
    QDBusConnection bus = connection;
    if (!bus.isConnected()) {
        qCWarning(lcDesktop, "No session bus, so no media keys or desktop media controls: %s",
                  qUtf8Printable(bus.lastError().message()));
        return false;
    }
    // The object first: when the name appears, its interfaces are there.
    if (!bus.registerObject(objectPath(), this, QDBusConnection::ExportAdaptors)) {
        qCWarning(lcDesktop, "No media keys or desktop media controls: %s is taken on the session bus",
                  qUtf8Printable(objectPath()));
        return false;
    }
    if (!bus.registerService(busName())) {
        bus.unregisterObject(objectPath());
        qCWarning(lcDesktop, "No media keys or desktop media controls: %s is taken on the session bus (%s)",
                  qUtf8Printable(busName()), qUtf8Printable(bus.lastError().message()));
        return false;
    }
    connection_ = bus;
    registered_ = true;
    announced_ = announcedProperties();
    return true;
}

void MprisService::setPlayer(Player* player) {
    if (player_ == player)
        return;
    if (player_)
        disconnect(player_, nullptr, this, nullptr);
    player_ = player;
    if (player) {
        connect(player, &Player::stateChanged, this, &MprisService::announceChanges);
        connect(player, &Player::volumeChanged, this, &MprisService::announceChanges);
        // The guard is already clear when destroyed() arrives: the status reads as stopped.
        connect(player, &QObject::destroyed, this, &MprisService::announceChanges);
    }
    announceChanges();
}

void MprisService::setMovie(const VideoItem& movie) {
    movie_ = movie;
    announceChanges();
}

void MprisService::setMovieLength(double seconds) {
    movie_.duration = seconds;
    announceChanges();
}

void MprisService::setNavigation(bool canGoNext, bool canGoPrevious) {
    canGoNext_ = canGoNext;
    canGoPrevious_ = canGoPrevious;
    announceChanges();
}

QString MprisService::playbackStatus() const {
    if (player_ && player_->isPlaying())
        return QStringLiteral("Playing");
    return canPlay() ? QStringLiteral("Paused") : QStringLiteral("Stopped");
}

QVariantMap MprisService::metadata() const {
    QVariantMap map{{QStringLiteral("mpris:trackid"), QVariant::fromValue(trackId(movie_.url()))}};
    if (movie_.path.isEmpty())
        return map;
    if (movie_.duration > 0)
        map.insert(QStringLiteral("mpris:length"), microseconds(movie_.duration));
    map.insert(QStringLiteral("xesam:title"), movie_.text);
    map.insert(QStringLiteral("xesam:url"), movie_.url().toString(QUrl::FullyEncoded));
    return map;
}

qlonglong MprisService::position() const { return player_ ? microseconds(player_->currentTime()) : 0; }

double MprisService::volume() const { return player_ ? double(player_->volume()) : 1.0; }

double MprisService::rate() const { return player_ ? player_->speed() : 1.0; }

void MprisService::setRateFromBus(double rate) {
    // A rate of 0 means pause, as the interface defines it.
    if (!player_)
        return;
    if (rate <= 0)
        player_->pause();
    else
        player_->setSpeed(rate);
}

void MprisService::setVolumeFromBus(double volume) {
    if (!player_)
        return;
    player_->setVolume(float(volume));  // the player clamps it to 0..1
    Q_EMIT volumeChangedFromBus(double(player_->volume()));
}

bool MprisService::canPlay() const { return player_ && player_->currentItem() && player_->error().isEmpty(); }

bool MprisService::canSeek() const { return canPlay(); }

void MprisService::play() {
    if (canPlay())
        player_->play();
}

void MprisService::pause() {
    if (player_)
        player_->pause();
}

void MprisService::playPause() {
    if (player_ && player_->isPlaying())
        pause();
    else
        play();
}

// There is no stopped state apart from "no movie": stopping pauses at the start.
void MprisService::stop() {
    pause();
    if (canSeek())
        seekTo(0);
}

void MprisService::seekBy(qlonglong offset) {
    if (!canSeek())
        return;
    const double target = std::max(0.0, player_->currentTime() + double(offset) / 1e6);
    // Past the end acts as Next, as MPRIS asks.
    if (movie_.duration > 0 && target > movie_.duration) {
        next();
        return;
    }
    seekTo(target);
}

void MprisService::setPosition(const QDBusObjectPath& track, qlonglong position) {
    // A position for another track is stale; one outside the movie is ignored.
    if (!canSeek() || track != trackId(movie_.url()) || position < 0)
        return;
    if (movie_.duration > 0 && position > microseconds(movie_.duration))
        return;
    seekTo(double(position) / 1e6);
}

void MprisService::seekTo(double seconds) {
    player_->seek(seconds);
    Q_EMIT playerInterface_->Seeked(microseconds(seconds));
}

void MprisService::openUri(const QString& uri) {
    const QUrl url(uri);
    if (!url.isLocalFile()) {
        qCWarning(lcDesktop, "Not opened from the bus, not a local file: %s", qUtf8Printable(uri));
        return;
    }
    QMetaObject::invokeMethod(
        this, [this, path = url.toLocalFile()] { Q_EMIT openRequested(path); }, Qt::QueuedConnection);
}

void MprisService::next() {
    if (canGoNext_)
        request(&MprisService::nextRequested);
}

void MprisService::previous() {
    if (canGoPrevious_)
        request(&MprisService::previousRequested);
}

void MprisService::raise() { request(&MprisService::raiseRequested); }

void MprisService::quit() { request(&MprisService::quitRequested); }

// Queued, so the caller's reply goes out first: a question the window asks in its own event
// loop would otherwise hold the reply until the caller's timeout.
void MprisService::request(void (MprisService::*signal)()) {
    QMetaObject::invokeMethod(
        this, [this, signal] { Q_EMIT std::invoke(signal, this); }, Qt::QueuedConnection);
}

QVariantMap MprisService::announcedProperties() const {
    return {
        {QStringLiteral("PlaybackStatus"), playbackStatus()},
        {QStringLiteral("Metadata"), metadata()},
        {QStringLiteral("Volume"), volume()},
        {QStringLiteral("Rate"), rate()},
        {QStringLiteral("CanPlay"), canPlay()},
        {QStringLiteral("CanPause"), canPlay()},
        {QStringLiteral("CanSeek"), canSeek()},
        {QStringLiteral("CanGoNext"), canGoNext_},
        {QStringLiteral("CanGoPrevious"), canGoPrevious_},
    };
}

void MprisService::announceChanges() {
    const QVariantMap now = announcedProperties();
    QVariantMap changed;
    for (auto it = now.cbegin(); it != now.cend(); ++it) {
        if (announced_.value(it.key()) != it.value())
            changed.insert(it.key(), it.value());
    }
    announced_ = now;
    if (!registered_ || changed.isEmpty())
        return;
    QDBusMessage signal = QDBusMessage::createSignal(objectPath(), QStringLiteral("org.freedesktop.DBus.Properties"),
                                                     QStringLiteral("PropertiesChanged"));
    signal << playerInterfaceName << changed << QStringList();
    if (!connection_.send(signal) && !sendFailed_) {
        sendFailed_ = true;  // a bus that went away fails every change: one line is enough
        qCWarning(lcDesktop, "Media controls not told of a change: %s",
                  qUtf8Printable(connection_.lastError().message()));
    }
}
