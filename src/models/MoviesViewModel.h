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
// A refresh lists, stats, probes and reads sidecars on a worker thread, from a copy of what
// earlier refreshes read; only the finished list comes back to the main thread. When it
// differs from the shown one (see isDifferent) it is assigned first and "videoUpdated" is
// posted afterwards, so an observer reads the new list in its handler. A refresh that finds
// the same records in the same order, or whose folder cannot be listed, changes nothing and
// posts nothing. A refresh asked for while one runs is dropped (the next tick runs it), and
// a movie removed while one runs stays out of the list it brings. `refreshed` follows every
// refresh. Names that are not valid in the file-name encoding are left out, with one log
// line each.
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

    // Starts a refresh of the library from the movies folder (see above); returns at once.
    void refresh();
    bool isRefreshing() const { return refreshing_; }

    // The record of one movie file: creation date, title and bundle identifier from its SRT
    // sidecar (falling back to the file name and "com.apple.QuickTimePlayerX"), length in
    // seconds (0 when it cannot be measured). Reads on the calling thread. Usable on any
    // instance, e.g. MoviesViewModel().loadItem(url) for a file from outside the library.
    VideoItem loadItem(const QUrl& url);

    // The change test of refresh(): different counts, or a record that differs at some index
    // in its file, date, title, bundle identifier or length (a movie replaced under the same
    // name, or one that was still being copied when it was first measured).
    static bool isDifferent(const QList<VideoItem>& a, const QList<VideoItem>& b);

    // Removes the record at `row` (the sidebar's delete); rows out of range are ignored.
    void removeItem(int row);

    int rowCount(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;
    QHash<int, QByteArray> roleNames() const override;

Q_SIGNALS:
    // A refresh ended; `published` tells whether it assigned a new list.
    void refreshed(bool published);

private:
    // What one read of a movie file gave, valid while the file keeps its stamp.
    struct MovieFacts {
        QString time;
        double duration = 0;
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

    // What earlier reads gave, and the reading of one folder or file with it. A copy goes to
    // the refresh's worker and comes back updated.
    struct Scanner {
        StampedCache<MovieFacts> movies;                          // keyed by the movie's path
        StampedCache<std::optional<SubtitleSRT::Info>> sidecars;  // keyed by the sidecar's path

        // The folder's movies, newest first; absent when it cannot be listed.
        std::optional<QList<Scanned>> scanFolder(const QString& folder, const QStringList& extensions);
        Scanned scan(const QUrl& url);
        std::optional<SubtitleSRT::Info> sidecarInfo(const QUrl& movieURL, qint64 readAtNs);
    };

    template <class A, class B>
    static bool recordsDiffer(const QList<A>& a, const QList<B>& b);
    void finishRefresh(Scanner scanner, std::optional<QList<Scanned>> scanned);

    QList<VideoItem> items_;
    Scanner scanner_;
    bool refreshing_ = false;
    QList<QUrl> removedWhileRefreshing_;
};
