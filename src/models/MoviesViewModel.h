#pragma once

#include "core/Records.h"
#include "models/LibraryScanner.h"

#include <QAbstractListModel>
#include <QFutureWatcher>
#include <QList>
#include <QStringList>
#include <QUrl>
#include <memory>
#include <optional>

class LengthProber;
struct MeasuredLength;

// The movie library the sidebar shows: one VideoItem per movie file directly inside
// global().moviesFolder() (MovieFiles::isMovieName: "mp4" or "mov" in any case), newest first;
// movies of the same second are in name order (UTF-16 code units), and undated ones come last.
// Symlinks count as the files they point at; a FIFO, folder or broken file named like a movie is
// listed with length 0.
//
// Three parts, as a file manager splits its folder model: a LibraryScanner reads the folder on
// the library work queue (from what earlier refreshes read), a LengthProber measures lengths on
// the probe queue, and this model holds the rows. A refresh first lists the folder, stats every
// file and reads the sidecars: that list comes back to the main thread at once, with the lengths
// known from before (a movie new or changed since keeps the length it shows, 0 for a new one,
// until it is measured). When it differs from the shown one (see isDifferent) it is put in
// place row by row (inserted, removed or changed rows; a long list in pieces between which
// the event loop turns) and "videoUpdated" is posted afterwards, so an observer reads the new
// list in its handler. A first list too long for one piece comes sooner: its newest movie
// alone is put in place, and "videoUpdated" posted, as soon as the folder is listed and every
// file stat'ed, while the sidecars are still being read (at a launch whose cache file says the
// folder has not changed since, before the folder is even listed); the whole list then goes in
// around it. Then the movies not measured yet are probed, the
// open movie first (the timeline needs its length), and their lengths are published in place as
// they arrive (dataChanged, then lengthMeasured). A refresh that finds the same records in the
// same order, or whose folder cannot be listed, changes nothing and posts nothing. A refresh
// asked for while one runs is dropped (the next tick runs it), and a movie removed while one
// runs stays out of the list it brings. `refreshed` follows every refresh, after its last
// length. Names that are not valid in the file-name encoding are left out, with one log line
// each. Main thread only.
//
// Refreshing re-reads only what changed: creation dates, lengths and sidecar titles are kept
// per path with the file's size, modification and change times, inode and device, and read
// again when any of those differ, or while the file changed less than 2 s before it was read
// (a change within one timestamp tick would not show). The results are those of reading
// everything afresh. With a cache file (setCacheFile), what was read is kept there after every
// refresh that read something new, and the first refresh starts from it: a library read at an
// earlier launch shows whole at once.
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
    ~MoviesViewModel() override;

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
    // "com.apple.QuickTimePlayerX"), and its length in seconds when a row of the library shows
    // it. Otherwise the length is 0 and is measured on a worker: lengthMeasured brings it (0 when
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
    struct ScanResult;
    struct Publishing;

    void publishFirst(const ScannedMovie& newest);
    void publish(QList<ScannedMovie> scanned);
    bool publishPiece();
    void finishPublishing();
    void applyLengths(const QList<MeasuredLength>& lengths);
    void lengthsDone();
    void finishRefresh();
    std::optional<int> rowOf(const ScannedMovie& movie) const;

    QList<VideoItem> items_;
    // Read and written only by tasks on the library work queue, one at a time.
    std::shared_ptr<LibraryScanner> scanner_;
    LengthProber* prober_;
    QFutureWatcher<ScannedMovie>* firstMovie_;  // the newest movie of a whole reading, ahead of the list
    QString cacheFile_;
    bool cacheFileRead_ = false;
    bool rewriteCacheFile_ = false;
    bool refreshing_ = false;
    bool awaitingLengths_ = false;
    bool changedByRefresh_ = false;
    bool removedRows_ = false;               // by removeItem since the last refresh began
    QList<QString> removedWhileRefreshing_;  // paths
    std::unique_ptr<Publishing> publishing_;
};
