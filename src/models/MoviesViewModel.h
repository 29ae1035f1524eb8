#pragma once

#include "core/Records.h"
#include "models/LibraryCacheFile.h"
#include "models/StampedCache.h"

#include <QAbstractListModel>
#include <QList>
#include <QPointer>
#include <QStringList>
#include <QUrl>
#include <memory>
#include <optional>

// The movie library the sidebar shows: one VideoItem per "mp4"/"mov" file (any case) directly inside
// global().moviesFolder(), newest first; movies of the same second keep the listing's order,
// which is name order (UTF-16 code units), and undated ones come last. Symlinks count as the
// files they point at; a FIFO, folder or broken file named like a movie is listed with length 0.
//
// A refresh runs on a worker thread, from a copy of what earlier refreshes read, in two steps.
// First it lists the folder, stats every file and reads the sidecars: that list comes back to
// the main thread at once, with the lengths known from before (a movie new or changed since
// keeps the length it shows, 0 for a new one, until it is measured). When it differs from the shown one (see
// isDifferent) it is assigned first and "videoUpdated" is posted afterwards, so an observer reads the new list in its
// handler. Then the movies not measured yet are probed, the open movie first (the timeline needs its length), and their
// lengths are published in place as they arrive (dataChanged, then lengthMeasured). A refresh that finds the same
// records in the same order, or whose folder cannot be listed, changes nothing and posts nothing. A refresh asked for
// while one runs is dropped (the next tick runs it), and a movie removed while one runs stays out of the list it
// brings. `refreshed` follows every refresh, after its last length. Names that are not valid in the file-name encoding
// are left out, with one log line each.
//
// Every assignment to the list resets the model (modelAboutToBeReset is "just before the
// change"); removeItem() removes one row. Main thread only, except where noted.
//
// Refreshing re-reads only what changed: creation dates, lengths and sidecar titles are kept
// per path with the file's size, modification and change times, inode and device, and read
// again when any of those differ, or while the file changed less than 2 s before it was read
// (a change within one timestamp tick would not show). The results are those of reading
// everything afresh; an unchanged library of 1,000 movies refreshes in a few milliseconds.
// With a cache file (setCacheFile), what was read is kept there after every refresh that
// read something new, and the first refresh starts from it: a library read at an earlier
// launch shows whole at once.
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

    const QList<VideoItem>& items() const { return items_; }

    // Keeps what refreshes read in `path` across launches (see above); empty keeps it in memory
    // only. Takes effect before the first refresh.
    void setCacheFile(const QString& path) { cacheFile_ = path; }

    // Starts a refresh of the library from the movies folder (see above); returns at once.
    void refresh();
    bool isRefreshing() const { return refreshing_; }

    // The record of one movie file, e.g. one from outside the library: creation date, title and
    // bundle identifier from its SRT sidecar (falling back to the file name and
    // "com.apple.QuickTimePlayerX"), and its length in seconds when it is known from a refresh.
    // Otherwise the length is 0 and is measured on a worker: lengthMeasured brings it (0 when
    // the file cannot be measured). Stats and reads the sidecar on the calling thread.
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
    // A refresh ended; `changed` tells whether it assigned a new list or a new length.
    void refreshed(bool changed);
    // The length of the movie at `url` was measured: a row of the library (its record carries
    // it already) or a file given to loadItem.
    void lengthMeasured(const QUrl& url, double seconds);

private:
    // A record's fields without its id, which is drawn only for a library that gets published.
    struct Scanned {
        QUrl url;
        QString time;
        QString text;
        QString BID;
        double duration = 0;
        bool measured = true;  // false: the file is to be probed, and `duration` stands in
        std::optional<FileStamp> stamp;
        qint64 readAtNs = 0;  // when the stamp was taken
        VideoItem record() const;
    };
    struct Measured {
        QUrl url;
        double duration = 0;
    };
    // The movie the user has open, whose length a refresh measures first. Shared with workers.
    struct OpenMovie;

    // What earlier reads gave, and the reading of one folder or file with it. A copy goes to
    // the refresh's worker and comes back updated.
    struct Scanner {
        StampedCache<MovieFacts> movies;      // keyed by the movie's path
        StampedCache<SidecarFacts> sidecars;  // keyed by the sidecar's path

        // The folder's movies, newest first, with the lengths known; absent when it cannot be
        // listed.
        std::optional<QList<Scanned>> scanFolder(const QString& folder);
        Scanned scan(const QUrl& url);
        // Probes `movie` and keeps its length.
        double measure(const Scanned& movie);
        SidecarFacts sidecarInfo(const QUrl& movieURL, qint64 readAtNs);
    };

    template <class A, class B>
    static bool recordsDiffer(const QList<A>& a, const QList<B>& b);
    static void runRefresh(const QPointer<MoviesViewModel>& self, Scanner scanner, const QString& folder,
                           const QString& cacheFile, bool readCacheFile, const std::shared_ptr<OpenMovie>& open);
    void publish(std::optional<QList<Scanned>> scanned);
    void applyLengths(const QList<Measured>& lengths);
    // The length the list shows for `url`; 0 when it is not listed.
    double shownLength(const QUrl& url) const;
    void indexRows();
    void finishRefresh(Scanner scanner);
    void measureLater(const QUrl& url);

    QList<VideoItem> items_;
    QHash<QUrl, int> rows_;  // the row of each movie, kept with items_
    Scanner scanner_;
    QString cacheFile_;
    bool cacheFileRead_ = false;
    bool refreshing_ = false;
    bool changedByRefresh_ = false;
    QList<QUrl> removedWhileRefreshing_;
    std::shared_ptr<OpenMovie> openMovie_;
};
