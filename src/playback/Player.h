#pragma once

#include "playback/PlayerItem.h"
#include "playback/SubtitleStyle.h"

#include <QHash>
#include <QList>
#include <QObject>
#include <QString>
#include <atomic>
#include <optional>

struct mpv_handle;

// The movie player: one libmpv instance behind typed operations. All calls and signals are
// on the thread that made the player (the GUI thread); mpv's own threads only wake it.
// A player that mpv refused to create, or whose mpv shut down, accepts every call and does
// nothing.
class Player : public QObject {
    Q_OBJECT
public:
    struct Options {
        bool video = true;  // pictures go to a VideoPlayerView; false: no picture at all
        bool audio = true;  // false: no sound device
    };

    explicit Player(QObject* parent = nullptr);
    explicit Player(Options options, QObject* parent = nullptr);
    ~Player() override;

    // Plays `item` from now on, replacing the current one. The player starts paused, like a
    // new one; with a picture, loading waits until the video surface is ready. An item whose
    // subtitle file is still being written waits for subtitlesWritten, the replaced movie
    // stopped meanwhile. A positive `startAt` opens it there (seconds), so that its first
    // picture is the one at that position.
    void replaceCurrentItem(const PlayerItem& item, double startAt = 0);
    // The current item's subtitle file is written: `item` is the current item built again. The
    // movie opens now, with its subtitles, where it was last asked to go.
    void subtitlesWritten(const PlayerItem& item);
    const std::optional<PlayerItem>& currentItem() const { return item_; }
    // The current item's movie is open.
    bool isLoaded() const { return load_ == Load::loaded; }
    // The current item's movie is being opened.
    bool isOpening() const { return load_ == Load::loading; }

    void play();
    void pause();
    // The playback speed while playing; 0 while paused, idle, at the end or without an open item.
    double rate() const;
    bool isPlaying() const { return rate() != 0; }
    // Why the current item could not be played; empty when nothing failed.
    QString error() const { return error_; }

    // Changes the current item's length in seconds (0: the whole file); an open movie is
    // opened again at its position, unless it plays whole and mpv saw at least that length.
    void setLength(double seconds);

    // 0.0 silent to 1.0 full.
    void setVolume(float volume);
    float volume() const { return volume_; }

    // Moves exactly to `seconds`, at millisecond resolution (negative is 0). Before the item is
    // open, it opens there.
    void seek(double seconds);
    void seek(MediaTime time);
    // The playback position in seconds; 0 without an open item.
    double currentTime() const;
    // The target of the last seek while mpv has not reached it yet (briefly: at most a second).
    // Relative steps start from here, so that quick presses add up instead of each starting
    // from a position not yet reported.
    std::optional<double> seekTarget() const;
    // The open movie played to its end.
    bool isAtEnd() const { return isLoaded() && endReached_; }
    // Sound off or on, keeping the volume.
    void setMuted(bool muted);
    bool isMuted() const { return muted_; }
    // A short text over the picture (mpv's on-screen display), for `milliseconds`;
    // messageShown tells when mpv took it.
    void showMessage(const QString& text, int milliseconds = 1500);
    // Video frames mpv dropped since the current movie opened: late at the output, and in
    // the decoder to catch up. Zeros without an open item.
    struct DroppedFrames {
        qint64 output = 0;
        qint64 decoder = 0;
    };
    DroppedFrames droppedFrames() const;

    // --- Frame-exact stepping and playback speed ---
    // One frame forward or back; playback pauses on it (mpv's frame-step / frame-back-step).
    void stepFrame(int direction);
    // The length of one video frame in seconds, from the file's frame rate (else the one mpv
    // measured); 1/25 while neither is known.
    double frameDuration() const;
    // The playback speed, kept between minSpeed and maxSpeed; the pitch stays (mpv's
    // audio-pitch-correction). It holds for the next movies too.
    static constexpr double minSpeed = 0.25;
    static constexpr double maxSpeed = 4.0;
    void setSpeed(double speed);
    double speed() const { return speed_; }

    // --- The movie's audio and subtitle tracks ---
    struct Track {
        qint64 id = 0;          // mpv's id, counted per kind of track
        QString title;          // may be empty
        QString language;       // the file's language tag; may be empty
        bool external = false;  // a file opened beside the movie: the marks' subtitles
        bool selected = false;  // plays, or shows
    };
    // The open movie's audio or subtitle tracks in mpv's order; none while no movie is open.
    QList<Track> audioTracks() const { return tracks("audio"); }
    QList<Track> subtitleTracks() const { return tracks("sub"); }
    // The audio track that plays (0: none), and a choice of it.
    qint64 audioTrack() const;
    void setAudioTrack(qint64 id);
    // The movie's own subtitle track that shows (0: none), and a choice of it. Beside the marks'
    // subtitles it shows at the top (mpv's secondary subtitle), and the marks keep their place and
    // style; without them it takes their place. Choices hold while the movie is open, also when
    // it is opened again where it is; another item starts with mpv's own choice.
    qint64 movieSubtitleTrack() const;
    void setMovieSubtitleTrack(qint64 id);

    // Restyles the subtitles at once, keeping the playback position; the same style again
    // changes nothing.
    void setSubtitleStyle(const SubtitleStyle& style);
    const std::optional<SubtitleStyle>& subtitleStyle() const { return style_; }

Q_SIGNALS:
    // The playback position, about once per second of playback, and whenever the position
    // jumps, playback starts or playback stops.
    void positionReported(double seconds);
    // The rate or the error may have changed.
    void stateChanged();
    // The current item's movie was opened (true) or could not be (false).
    void loadFinished(bool ok);
    // setVolume changed the volume, from whichever control.
    void volumeChanged(float volume);
    // setMuted changed the sound.
    void mutedChanged(bool muted);
    // mpv shows `text` over the picture (showMessage).
    void messageShown(const QString& text);

private:
    // The video surface renders this player's pictures through the handle.
    friend class VideoPlayerView;
    mpv_handle* handle() const { return mpv_; }
    void attachSurface();
    void detachSurface();

    enum class Load { none, waitingForSubtitles, waitingForSurface, loading, loaded, failed };

    static void wakeup(void* context);
    void drainEvents();
    void handlePropertyChange(quint64 id, int format, void* data);
    void startLoad();
    void fileLoaded();
    void fileEnded(qint64 entry, int reason, int error);
    void report(double seconds);
    void setPaused(bool paused);
    bool alive() const { return mpv_ != nullptr && !shutDown_; }
    bool setOption(const char* name, const QString& value);
    QList<Track> tracks(const char* type) const;
    void messageReplied(quint64 reply, int error);

    Options options_;
    mpv_handle* mpv_ = nullptr;
    bool shutDown_ = false;
    std::atomic<bool> drainQueued_{false};

    std::optional<PlayerItem> item_;
    Load load_ = Load::none;
    bool surfaceReady_ = false;
    qint64 expectedEntry_ = -1;  // mpv's playlist entry of the item being opened
    qint64 startedEntry_ = -1;   // the entry mpv opens now
    std::optional<double> pendingSeek_;
    std::optional<double> seekTarget_;  // the last seek's target until mpv reaches it
    qint64 seekIssuedMs_ = 0;           // when it was asked for (monotonic ms)
    double openingAt_ = 0;              // where the file being opened starts
    std::optional<double> openedAt_;    // the same once it is open, until its first picture
    double openedLength_ = 0;           // the length mpv found in the open file; 0 until it tells
    // How far the measured length may exceed mpv's own without the file being opened again:
    // the two read different stream durations of one file.
    static constexpr double lengthTolerance = 0.5;

    bool paused_ = true;
    bool endReached_ = false;
    double speed_ = 1.0;
    float volume_ = 1.0f;
    bool muted_ = false;
    QString error_;
    qint64 lastReportedSecond_ = -1;
    // The tracks chosen for the current item, as mpv options ("2", "no"); empty: mpv's choice.
    struct TrackChoice {
        QByteArray audio;
        QByteArray subtitle;
        QByteArray secondarySubtitle;
    };
    TrackChoice trackChoice_;
    QHash<quint64, QString> messagesSent_;  // by reply id, until mpv replies
    quint64 lastMessageReply_ = 0;
    std::optional<SubtitleStyle> style_;  // the style applied last
    double defaultFontSize_ = 55.0;       // mpv's own subtitle size, read at start
};
