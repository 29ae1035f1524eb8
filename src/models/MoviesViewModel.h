#pragma once

#include "core/Records.h"
#include "models/StampedCache.h"
#include "subtitles/SubtitleSRT.h"

#include <QAbstractListModel>
#include <QList>
#include <QStringList>
#include <QUrl>
#include <optional>

// The movie library the sidebar shows: one VideoItem per "mp4"/"mov" file directly inside
// global().moviesFolder(), newest first; movies of the same second keep the listing's order,
// which is name order (UTF-16 code units), and undated ones come last. Symlinks count as the
// files they point at; a FIFO, folder or broken file named like a movie is listed with length 0.
//
// Order of events of a refresh that finds a changed library (see isDifferent): the lengths are measured on a worker thread while refresh() waits on a
// latch, "videoUpdated" is posted while items() still holds the OLD list, refresh() returns,
// and the worker's queued hand-off then assigns the new list on the main thread. An observer
// of "videoUpdated" must therefore not read items() in its handler (the sidebar reads it
// 0.1 s later). A refresh that finds the same records in the same order, or whose folder
// cannot be listed, changes nothing and posts nothing. Names that are not valid in the
// file-name encoding are left out, with one log line each.
//
// Every assignment to the list resets the model (modelAboutToBeReset is "just before the
// change"); removeItem() removes one row. Main thread only, except where noted.
//
// Refreshing re-reads only what changed: creation dates, lengths and sidecar titles are kept
// per path with the file's size, modification and change times, inode and device, and read
// again when any of those differ, or while the file changed less than 2 s before it was read
// (a change within one timestamp tick would not show). The results are those of reading
// everything afresh; an unchanged library of 1,000 movies refreshes in a few milliseconds.
class MoviesViewModel : public QAbstractListModel {
    Q_OBJECT
public:
    enum Role {
        TextRole = Qt::UserRole + 1,  // QString title (also Qt::DisplayRole)
        TimeRole,                     // QString "yyyy-MM-dd HH:mm:ss" or "0000-00-00 00:00:00"
        ColorRole,                    // ItemColor
        BIDRole,                      // QString bundle identifier
        URLRole,                      // QUrl of the movie file
        DurationRole,                 // double seconds
        ItemRole,                     // the whole VideoItem
    };

    explicit MoviesViewModel(QObject* parent = nullptr);

    // The instance the application uses; created on first use, kept for the process's life.
    static MoviesViewModel& shared();

    // Path extensions that make a file a movie; compared exactly (case matters).
    const QStringList fileExtensions{QStringLiteral("mp4"), QStringLiteral("mov")};

    const QList<VideoItem>& items() const { return items_; }

    // Lists the movies folder and publishes the library when it changed (see isDifferent).
    // Blocks the calling (main) thread while lengths are measured; never fails outwardly.
    void refresh();

    // The record of one movie file: creation date, title and bundle identifier from its SRT
    // sidecar (falling back to the file name and "com.apple.QuickTimePlayerX"), length in
    // seconds (0 when it cannot be measured). Blocks until the length is measured. Usable on
    // any instance, e.g. MoviesViewModel().loadItem(url) for a file from outside the library.
    VideoItem loadItem(const QUrl& url);

    // Measures every record's length on a worker thread and blocks until that is done; the
    // measured list is assigned to items() by a queued call on the main thread afterwards.
    void loadDurations(const QList<VideoItem>& list);

    // The movie's length in seconds, measured on a worker thread; blocks until done.
    double loadDuration(const VideoItem& item);

    // The change test of refresh(): different counts, or a record that differs at some index
    // in its file, date, title, bundle identifier or length (a movie replaced under the same
    // name, or one that was still being copied when it was first measured).
    static bool isDifferent(const QList<VideoItem>& a, const QList<VideoItem>& b);

    // Removes the record at `row` (the sidebar's delete); rows out of range are ignored.
    void removeItem(int row);

    int rowCount(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;
    QHash<int, QByteArray> roleNames() const override;

private:
    // What one read of a movie file gave, valid while the file keeps its stamp.
    struct MovieFacts {
        QString time;
        double duration = 0;
    };
    struct Measurement {
        QString path;
        FileStamp stamp;
        qint64 readAtNs = 0;
        double seconds = 0;
    };

    // A record's fields without its id, which is drawn only for a library that gets published.
    struct Scanned {
        QUrl url;
        QString time;
        QString text;
        QString BID;
        double duration = 0;
        VideoItem record() const;
    };

    Scanned scan(const QUrl& url);
    std::optional<SubtitleSRT::Info> sidecarInfo(const QUrl& movieURL, qint64 readAtNs);
    double measure(const QUrl& url);
    template <class A, class B>
    static bool recordsDiffer(const QList<A>& a, const QList<B>& b);
    void assignItems(const QList<VideoItem>& list, const QList<Measurement>& measured);

    QList<VideoItem> items_;
    double duration_ = 0;  // where a worker's single measurement lands for loadDuration()

    StampedCache<MovieFacts> movies_;                          // keyed by the movie's path
    StampedCache<std::optional<SubtitleSRT::Info>> sidecars_;  // keyed by the sidecar's path
};
