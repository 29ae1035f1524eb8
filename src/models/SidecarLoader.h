#pragma once

#include <QObject>
#include <QString>
#include <QUrl>
#include <atomic>

// Opens the sidecar SRT file of the movie the window opens: its cues go into the subtitle
// list model, and the player gets a subtitle file made from it.
//
// A sidecar of up to `largeFileBytes` is read on the spot (milliseconds): when `open`
// returns, the list holds its cues and the player's WebVTT file is written. A larger one is
// read on a worker, so that the window does not wait for it: the list model is loading
// meanwhile and takes the cues on the main thread once they are read, and the player's file
// is a Matroska file (SubtitleMatroska), which the player reads as playback goes rather than
// all at once. `playerFileWritten` says when that file is in place. Opening another movie
// drops a load that has not finished.
class SidecarLoader : public QObject {
    Q_OBJECT
public:
    // About 5,000 cues. Up to this size, reading the file and converting it on the main
    // thread, and the player's reading of the WebVTT file (which holds its core meanwhile),
    // each take a few tens of milliseconds at most.
    static constexpr qint64 largeFileBytes = 512 * 1024;

    static SidecarLoader& shared();

    // Opens the sidecar of the movie at `movieURL`, `duration` seconds long.
    void open(const QUrl& movieURL, double duration);

    // The subtitle file for the player of the movie at `movieURL`: the one `open` chose for
    // the movie opened last, the WebVTT file otherwise. `pending` while it is being written.
    struct PlayerFile {
        QString path;
        bool pending = false;
    };
    PlayerFile playerFile(const QUrl& movieURL) const;

    // Drops the load under way: its cues and its player's file are not written any more (a
    // file being written when this is called is finished). For the quit, before the cache
    // files are removed.
    void dropLoads();

    // Why the sidecar of the movie opened last was not read (it is larger than
    // SubtitleText::maxFileSize), for the panel to say; empty when it was read. Saving over it
    // is refused as well, so its cues are not lost.
    QString refusal() const { return refusal_; }

Q_SIGNALS:
    // The sidecar of the movie at `movieURL` was not read, for `reason` (see refusal()).
    void sidecarRefused(const QUrl& movieURL, const QString& reason);

    // The player's subtitle file of the movie at `movieURL` is written, or could not be
    // (then an earlier one may be there).
    void playerFileWritten(const QUrl& movieURL);

private:
    SidecarLoader() = default;
    void readOnWorker(quint64 opening, quint64 load, const QUrl& srt, double duration, const QUrl& movieURL,
                      const QUrl& matroska);
    void finishPlayerFile(quint64 opening, const QUrl& movieURL);

    quint64 opening_ = 0;                    // the number of the last `open`
    std::atomic<quint64> latestOpening_{0};  // the same, for the worker to see that it was dropped
    QUrl openMovie_;
    bool large_ = false;
    bool writing_ = false;
    QString refusal_;
};
