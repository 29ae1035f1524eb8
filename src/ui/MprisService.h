#pragma once

#include "core/Records.h"

#include <QDBusConnection>
#include <QDBusObjectPath>
#include <QObject>
#include <QPointer>
#include <QString>
#include <QVariantMap>

class MprisPlayerAdaptor;
class MprisRootAdaptor;
class Player;

// The program's media controls on the desktop bus (MPRIS 2, org.mpris.MediaPlayer2.<desktop id>):
// media keys, the desktop's player widget and tools like playerctl play, pause and seek the
// player through it and show the open movie. It sees the window only through this interface:
// the window hands over the player, the open movie and whether a movie comes before and after
// it, and acts on the request signals. Everything runs on the GUI thread.
class MprisService : public QObject {
    Q_OBJECT
public:
    explicit MprisService(QObject* parent = nullptr);
    ~MprisService() override;

    static QString busName();
    static QString objectPath();
    // The track id of the movie at `url`: the same path for the same URL in every run, and
    // MPRIS's "no track" path for an empty URL.
    static QDBusObjectPath trackId(const QUrl& url);

    // Publishes the service on `connection` (the session bus in the program). Returns false,
    // and logs one line, when the connection is not connected or another program owns the
    // name; the program then runs without media controls. Call once.
    bool registerOn(const QDBusConnection& connection);
    bool isRegistered() const { return registered_; }

    // The player the controls act on and report; follows its state and volume. nullptr: none.
    void setPlayer(Player* player);
    // The open movie, for the metadata; a default VideoItem (empty URL) means none.
    void setMovie(const VideoItem& movie);
    // The open movie's length became known (seconds).
    void setMovieLength(double seconds);
    // Whether Next and Previous lead anywhere.
    void setNavigation(bool canGoNext, bool canGoPrevious);

Q_SIGNALS:
    // Requests from the bus. They arrive queued, after the caller has had its reply, so the
    // window may ask the user first.
    void raiseRequested();
    void quitRequested();
    void nextRequested();
    void previousRequested();
    void openRequested(const QString& path);  // a local file the desktop asks to play
    // The bus set the player's volume (0.0 to 1.0), already applied to the player.
    void volumeChangedFromBus(double volume);

private:
    // The D-Bus interfaces call the operations below.
    friend class MprisRootAdaptor;
    friend class MprisPlayerAdaptor;

    QString playbackStatus() const;
    QVariantMap metadata() const;
    qlonglong position() const;  // microseconds
    double volume() const;
    void setVolumeFromBus(double volume);
    // The playback speed (1 without a player); the bus may set it within the player's range.
    double rate() const;
    void setRateFromBus(double rate);
    bool canPlay() const;
    bool canSeek() const;
    bool canGoNext() const { return canGoNext_; }
    bool canGoPrevious() const { return canGoPrevious_; }

    void play();
    void pause();
    void playPause();
    void stop();
    void seekBy(qlonglong offset);
    void setPosition(const QDBusObjectPath& track, qlonglong position);
    void openUri(const QString& uri);
    void next();
    void previous();
    void raise();
    void quit();

    void seekTo(double seconds);
    void request(void (MprisService::*signal)());
    // The player interface's properties that PropertiesChanged reports, by name.
    QVariantMap announcedProperties() const;
    // Sends PropertiesChanged with the properties that differ from the last report.
    void announceChanges();

    MprisPlayerAdaptor* playerInterface_ = nullptr;
    QDBusConnection connection_{QString()};
    bool registered_ = false;
    QPointer<Player> player_;
    VideoItem movie_;
    bool canGoNext_ = false;
    bool canGoPrevious_ = false;
    QVariantMap announced_;
    bool sendFailed_ = false;
};
