#pragma once

#include "core/Records.h"
#include "models/FileStamp.h"
#include "models/FolderWatch.h"
#include "models/LibraryCacheFile.h"
#include "models/StampedCache.h"

#include <QHash>
#include <QList>
#include <QString>
#include <QUrl>
#include <functional>
#include <memory>
#include <optional>

// One movie file as the scanner read it: the fields of its record, and what its length probe
// needs to keep the measurement.
struct ScannedMovie {
    QString path;  // local; its text is shared with the record and the scanner's cache
    QString time;  // "yyyy-MM-dd HH:mm:ss", or the undated placeholder
    QString text;
    QString BID;
    double duration = 0;
    bool measured = true;  // false: the file is to be probed, and `duration` stands in
    std::optional<FileStamp> stamp;
    qint64 readAtNs = 0;  // when the stamp was taken that the date and length were read with

    // Whether what was read may be kept for a later reading while the stamp holds: the file was
    // reached, measured, and had settled when it was read (FileStamp::isRacyAt).
    bool mayBeKept() const;
    // The record the library shows with the length `shownDuration`, with a fresh id.
    VideoItem record(double shownDuration) const;
    QUrl url() const { return QUrl::fromLocalFile(path); }
};

// Reads the movies folder: lists it, stats every movie and its SRT sidecar, and reads a
// sidecar's title and bundle identifier. What it read is kept per path with the file's stamp
// and served again while the stamp is unchanged, except for files that changed less than 2 s
// before they were read (the clock given at construction tells when "now" is). The caches can
// be kept in a file across launches. No thread of its own and not thread-safe: one owner at a
// time.
//
// refreshFolder() costs what changed rather than what exists: the folder is watched
// (FolderWatch), and a refresh reads only the names the kernel says changed. It reads the whole
// folder where that is not known: at the first refresh, where the folder cannot be watched
// (told once per folder), after the kernel lost track, and once a minute by the clock, for what
// a watch cannot see (a symlink's target, a change made beside the kernel).
class LibraryScanner {
public:
    using Clock = std::function<qint64()>;  // nanoseconds since the epoch, the scale of FileStamp

    explicit LibraryScanner(Clock clock = fileClockNowNs);
    LibraryScanner(LibraryScanner&&) = default;
    ~LibraryScanner();

    struct FolderScan {
        enum class Outcome { listed, unchanged, unreadable };
        Outcome outcome = Outcome::unreadable;
        QList<ScannedMovie> movies;  // listed: the whole folder in library order
    };
    // Called during a whole reading of the folder with its newest movie, read whole, and the number
    // of movies listed, as soon as every movie is listed and stat'ed and before the others'
    // sidecars are read: a window can show it while the rest is read. It may add to what the
    // scanner knows (readCacheFile): the rest of the reading, the newest included, uses it. Not
    // called when no movie is listed.
    using FirstMovie = std::function<void(const ScannedMovie& newest, qsizetype listed)>;

    // The folder's movies as scanFolder gives them, or `unchanged` when nothing changed since the
    // last refresh of the same folder (unless `listUnchanged`: then the same list again). `first`
    // is called where the whole folder is read (see scanFolder).
    FolderScan refreshFolder(const QString& folder, bool listUnchanged = false, const FirstMovie& first = {});
    // How many names the last refresh stat'ed.
    qsizetype lastScanSize() const { return lastScanSize_; }

    // The folder's movies (MovieFiles::isMovieName) in library order (see precedes), with the
    // lengths known; absent when the folder cannot be listed. Forgets what it read of files that
    // are no longer listed. Calls `first` with the newest movie before the others' sidecars are
    // read (see FirstMovie).
    std::optional<QList<ScannedMovie>> scanFolder(const QString& folder, const FirstMovie& first = {});

    // One movie file, anywhere: stat and sidecar, and the length when it is known.
    ScannedMovie scan(const QUrl& url);

    // Keeps the length measured for `movie` (read with its stamp), unless the file was changing.
    void keepLength(const ScannedMovie& movie, double duration);

    // The newest movie of `folder` as the cache file at `cacheFile` tells it, read whole, when that
    // file says the folder held more than `moreThan` movies and the folder still has the stamp it
    // had then (no name added, removed or renamed since); absent otherwise. Reads the head of the
    // file only: a window can open the movie before the folder is listed. A whole reading of the
    // folder afterwards checks it.
    std::optional<ScannedMovie> newestFromCacheFile(const QString& cacheFile, const QString& folder,
                                                    qsizetype moreThan);

    // Adds what the file kept; false when there is none or it is not ours (nothing is taken then).
    bool readCacheFile(const QString& path);
    // Whether anything was read or forgotten since the cache file was last read or written.
    bool hasUnsavedChanges() const;
    // Writes the caches to `path`; false with the reason in `error`.
    bool writeCacheFile(const QString& path, QString* error);

    // Library order: newest first; movies of the same second in name order (UTF-16 code units,
    // which is the order of their paths in one folder); undated ones last.
    // Takes any two records with `time` and `path` (ScannedMovie, VideoItem).
    template <class A, class B>
    static bool precedes(const A& a, const B& b) {
        if (a.time != b.time)
            return a.time > b.time;  // the fixed-width text sorts like the date, the undated last
        return a.path < b.path;
    }

    // The time between two whole reads of a watched folder.
    static constexpr qint64 fullRescanNs = 60'000'000'000;

private:
    // A sidecar's stamp taken ahead, with a time no later than the stat.
    struct SidecarStat {
        std::optional<FileStamp> stamp;
        qint64 readAtNs = 0;
    };
    // The sidecar of the movie at `moviePath`, stat'ed here unless `taken` gives its stamp.
    SidecarFacts sidecarInfo(const QString& moviePath, const SidecarStat* taken = nullptr);
    FolderScan fullScan(const QString& folder, qint64 now, const FirstMovie& first);
    ScannedMovie scanPath(const QString& path);
    ScannedMovie scanStamped(const QString& path, const std::optional<FileStamp>& stamp, qint64 readAtNs,
                             const SidecarStat* sidecar = nullptr);
    // The date and length known of the movie at `path` while it has `stamp`: from the reading being
    // redone (rememberPrevious), else from the cache file. `sharedPath` as in SavedEntries::find.
    // With them, when they were read (0: long before, as the cache file's).
    struct Known {
        MovieFacts facts;
        qint64 readAtNs = 0;
    };
    std::optional<Known> knownFacts(const QString& path, const FileStamp& stamp, QString* sharedPath) const;
    // Makes `movies`, read before, the ones knownFacts finds by path; gives how many may be kept.
    qsizetype rememberPrevious(QList<ScannedMovie> movies);
    // Drops them after the reading, which kept `keptAfter` of the `keptBefore` known: fewer is a
    // change the cache file has not seen.
    void forgetPrevious(qsizetype keptBefore, qsizetype keptAfter);
    void applyChanges(const QString& folder, const QSet<QString>& names);
    std::optional<FolderHead> folderHead() const;

    Clock clock_;
    std::unique_ptr<FolderWatch> watch_ = std::make_unique<FolderWatch>();
    QString toldUnwatched_;  // the folder whose watch failed and was told
    // The last refresh's list, which is also what is known of each movie (ScannedMovie::mayBeKept):
    // the next reading takes a movie's date and length from it while its stamp holds.
    QList<ScannedMovie> current_;
    bool haveCurrent_ = false;
    QString folder_;                        // of that list
    std::optional<FileStamp> folderStamp_;  // the folder's, taken before that list was read
    qint64 folderStampAtNs_ = 0;
    std::optional<FolderHead> savedHead_;  // as the cache file last read or written has it
    qint64 lastFullScanNs_ = 0;
    qsizetype lastScanSize_ = 0;
    QList<ScannedMovie> previous_;                 // while a reading redoes these
    QHash<QString, qsizetype> previousAt_;         // their places by path, of those that may be kept
    SavedEntries<MovieFacts> fromFile_;            // what the cache file kept, until a whole reading takes it up
    bool fromFileChanged_ = false;                 // it (or sidecarsFromFile_) had changed when that reading dropped it
    bool moviesChanged_ = false;                   // since the cache file was last read or written
    StampedCache<SidecarFacts> sidecars_;          // keyed by the movie's path
    SavedEntries<SidecarFacts> sidecarsFromFile_;  // keyed by the sidecar's path, as fromFile_
};
