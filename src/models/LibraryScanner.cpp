#include "models/LibraryScanner.h"

#include "models/LibraryLog.h"
#include "models/MovieFiles.h"
#include "subtitles/SubtitleSRT.h"

#include <QFile>
#include <QSet>

#include <dirent.h>
#include <sys/stat.h>

#include <algorithm>
#include <cerrno>
#include <functional>
#include <memory>
#include <utility>

namespace {

const QString fallbackBID = QStringLiteral("com.apple.QuickTimePlayerX");

struct DirCloser {
    void operator()(DIR* dir) const { closedir(dir); }
};

// The names of the folder's movies (hidden ones included), unsorted; absent when the folder
// cannot be listed, which is told apart from an empty one.
std::optional<QStringList> listMovies(const QString& folder) {
    if (folder.isEmpty())
        return std::nullopt;
    const std::unique_ptr<DIR, DirCloser> dir(opendir(QFile::encodeName(folder).constData()));
    if (!dir)
        return std::nullopt;
    QStringList names;
    for (;;) {
        errno = 0;
        const dirent* entry = readdir(dir.get());
        if (!entry)
            break;
        const char* name = entry->d_name;
        QString decoded = QFile::decodeName(name);
        if (!MovieFiles::isMovieName(decoded))
            continue;
        // A name that is not in the file-name encoding cannot be opened again by its decoded
        // form: it is left out rather than listed as a file that does not exist.
        if (QFile::encodeName(decoded) != QByteArrayView(name)) {
            static QSet<QByteArray> told;  // the library queue's one thread only; one line per name and run
            if (!told.contains(name)) {
                told.insert(name);
                qCWarning(lcLibrary) << "leaving out" << QByteArray(name).toPercentEncoding("/ ")
                                     << "whose name is not valid in the file-name encoding";
            }
            continue;
        }
        names.append(std::move(decoded));
    }
    if (errno != 0)
        return std::nullopt;
    return names;
}

// The last path component without its extension.
QString baseName(const QString& path) {
    const QString name = path.mid(path.lastIndexOf(u'/') + 1);
    const qsizetype dot = name.lastIndexOf(u'.');
    return dot > 0 ? name.left(dot) : name;
}

// The path of the movie's SRT sidecar.
QString sidecarPath(const QString& moviePath) {
    return SubtitleSRT::sidecarURL(QUrl::fromLocalFile(moviePath)).toLocalFile();
}

// `facts` in texts of their own. The cache file's sidecar entries go once a reading took them
// up, and the pages they leave go back to the system only where no kept text stands between.
SidecarFacts ownCopy(const SidecarFacts& facts) {
    const auto own = [](const std::optional<QString>& text) -> std::optional<QString> {
        if (!text || text->isEmpty())
            return text;
        return QString(text->constData(), text->size());
    };
    return facts ? SidecarFacts(SubtitleSRT::Info{own(facts->title), own(facts->BID)}) : facts;
}

// The creation date as the library shows it; a file that cannot be reached is undated.
QString creationText(const std::optional<FileStamp>& stamp) {
    return stamp ? stamp->creationText() : FileStamp::undatedText();
}

}  // namespace

bool ScannedMovie::mayBeKept() const { return stamp && measured && !stamp->isRacyAt(readAtNs); }

VideoItem ScannedMovie::record(double shownDuration) const {
    return VideoItem::atPath(path, time, text, BID, ItemColor::white, shownDuration);
}

LibraryScanner::LibraryScanner(Clock clock) : clock_(std::move(clock)) {}

LibraryScanner::~LibraryScanner() = default;

LibraryScanner::FolderScan LibraryScanner::refreshFolder(const QString& folder, bool listUnchanged,
                                                         const FirstMovie& first) {
    const qint64 now = clock_();
    // Before the changes are taken: a change after this shows in the folder's next stamp.
    folder_ = folder;
    folderStamp_ = FileStamp::of(folder);
    folderStampAtNs_ = now;
    std::optional<QSet<QString>> changes;
    if (haveCurrent_ && watch_->isWatching() && watch_->folder() == folder && now - lastFullScanNs_ < fullRescanNs)
        changes = watch_->takeChanges();
    if (!changes)
        return fullScan(folder, now, first);
    lastScanSize_ = 0;
    if (changes->isEmpty())
        return listUnchanged ? FolderScan{FolderScan::Outcome::listed, current_}
                             : FolderScan{FolderScan::Outcome::unchanged, {}};
    applyChanges(folder, *changes);
    return {FolderScan::Outcome::listed, current_};
}

LibraryScanner::FolderScan LibraryScanner::fullScan(const QString& folder, qint64 now, const FirstMovie& first) {
    // Watched first: a change during the scan shows at the next refresh.
    QString reason;
    if (watch_->isWatching() && watch_->folder() == folder)
        watch_->takeChanges();
    else if (!watch_->watch(folder, &reason) && toldUnwatched_ != folder) {
        toldUnwatched_ = folder;
        qCInfo(lcLibrary) << "cannot watch" << folder << "(" << reason << "): every refresh reads it whole";
    }
    lastFullScanNs_ = now;
    auto scanned = scanFolder(folder, first);
    haveCurrent_ = scanned.has_value();
    // An unreadable folder (a share gone offline) keeps what was known of its movies in current_:
    // when it comes back, they are not measured again.
    lastScanSize_ = scanned ? scanned->size() : 0;
    if (!scanned)
        return {FolderScan::Outcome::unreadable, {}};
    return {FolderScan::Outcome::listed, std::move(*scanned)};
}

void LibraryScanner::applyChanges(const QString& folder, const QSet<QString>& names) {
    // The movies to read again: those named, and those whose sidecar is named.
    QSet<QString> movies;
    QSet<QString> sidecarBases;
    for (const QString& name : names) {
        if (MovieFiles::isMovieName(name))
            movies.insert(name);
        else if (name.endsWith(QStringLiteral(".srt")))
            sidecarBases.insert(baseName(name));
    }
    if (!sidecarBases.isEmpty()) {
        for (const ScannedMovie& movie : std::as_const(current_)) {
            if (sidecarBases.contains(baseName(movie.path)))
                movies.insert(movie.path.mid(movie.path.lastIndexOf(u'/') + 1));
        }
    }
    if (movies.isEmpty())
        return;
    const QString prefix = folder.endsWith(u'/') ? folder : folder + u'/';
    QSet<QString> paths;
    for (const QString& name : std::as_const(movies))
        paths.insert(prefix + name);
    // The movies read again are known by what was read of them before, while their stamps hold.
    QList<ScannedMovie> before;
    current_.removeIf([&](const ScannedMovie& movie) {
        if (!paths.contains(movie.path))
            return false;
        before.append(movie);
        return true;
    });
    const qsizetype keptBefore = rememberPrevious(std::move(before));
    qsizetype keptAfter = 0;
    for (const QString& path : std::as_const(paths)) {
        struct stat entry {};
        if (lstat(QFile::encodeName(path).constData(), &entry) != 0)
            continue;  // gone (a dangling symlink is still an entry, and listed)
        ScannedMovie movie = scanPath(path);
        keptAfter += movie.mayBeKept();
        const auto at = std::lower_bound(current_.begin(), current_.end(), movie,
                                         [](const ScannedMovie& a, const ScannedMovie& b) { return precedes(a, b); });
        current_.insert(at, std::move(movie));
    }
    forgetPrevious(keptBefore, keptAfter);
    lastScanSize_ = movies.size();
}

std::optional<QList<ScannedMovie>> LibraryScanner::scanFolder(const QString& folder, const FirstMovie& first) {
    const auto names = listMovies(folder);
    if (!names)
        return std::nullopt;
    // What the last reading knew is looked up by path while this one reads: a movie whose stamp
    // held keeps its date and length.
    const qsizetype keptBefore = rememberPrevious(std::exchange(current_, {}));
    const QString prefix = folder.endsWith(u'/') ? folder : folder + u'/';
    // Every movie stat'ed first: that is all its place in the library needs, so the newest is
    // known before any sidecar is read. One read time serves the batch: taken before its first
    // stat, it makes a change during the batch count as recent.
    const qint64 readAt = clock_();
    bool slow = false;
    QList<std::optional<FileStamp>> stamps = FileStamp::ofAll(*names, prefix, &slow);
    struct Listed {
        QString path;
        std::optional<FileStamp> stamp;
        QString time;
    };
    QList<Listed> listed;
    listed.reserve(names->size());
    qsizetype newest = -1;
    for (qsizetype i = 0; i < names->size(); ++i) {
        Listed entry{prefix + names->at(i), stamps.at(i), {}};
        const auto known = entry.stamp ? knownFacts(entry.path, *entry.stamp, &entry.path) : std::nullopt;
        entry.time = known ? known->facts.time : creationText(entry.stamp);
        listed.append(std::move(entry));
        const Listed& last = listed.constLast();
        if (newest < 0 || last.time > listed.at(newest).time ||
            (last.time == listed.at(newest).time && last.path < listed.at(newest).path))
            newest = listed.size() - 1;
    }
    stamps = {};
    if (first && newest >= 0) {
        const Listed& entry = listed.at(newest);
        first(scanStamped(entry.path, entry.stamp, readAt), listed.size());
    }
    // On a slow folder the sidecars are stat'ed side by side too, before they are read.
    QList<std::optional<FileStamp>> sidecarStamps;
    qint64 sidecarsReadAt = 0;
    if (slow) {
        sidecarsReadAt = clock_();
        QStringList sidecarPaths;
        sidecarPaths.reserve(listed.size());
        for (const Listed& entry : std::as_const(listed))
            sidecarPaths.append(sidecarPath(entry.path));
        sidecarStamps = FileStamp::ofAll(sidecarPaths);
    }
    // The newest is read again with the rest: `first` may have added to what is known of it.
    QList<ScannedMovie> scanned;
    scanned.reserve(listed.size());
    for (qsizetype i = 0; i < listed.size(); ++i) {
        const Listed& entry = listed.at(i);
        if (slow) {
            const SidecarStat sidecar{sidecarStamps.at(i), sidecarsReadAt};
            scanned.append(scanStamped(entry.path, entry.stamp, readAt, &sidecar));
        } else {
            scanned.append(scanStamped(entry.path, entry.stamp, readAt));
        }
    }
    listed = {};
    sidecarStamps = {};
    std::sort(scanned.begin(), scanned.end(),
              [](const ScannedMovie& a, const ScannedMovie& b) { return precedes(a, b); });
    // What was read from files no longer listed is of no further use; what the cache file kept
    // was taken up by this reading (counted now: `first` may have read the file).
    const qsizetype keptAfter = std::count_if(scanned.cbegin(), scanned.cend(), std::mem_fn(&ScannedMovie::mayBeKept));
    forgetPrevious(keptBefore + fromFile_.size(), keptAfter);
    sidecars_.sweep();
    fromFileChanged_ = fromFileChanged_ || fromFile_.hasChanged() || sidecarsFromFile_.anyUnused();
    fromFile_ = {};
    sidecarsFromFile_ = {};
    current_ = scanned;
    return scanned;
}

ScannedMovie LibraryScanner::scan(const QUrl& url) { return scanPath(url.toLocalFile()); }

ScannedMovie LibraryScanner::scanPath(const QString& path) {
    const qint64 readAt = clock_();
    // One statx gives both the creation date and the key under which earlier reads are kept.
    return scanStamped(path, FileStamp::of(path), readAt);
}

ScannedMovie LibraryScanner::scanStamped(const QString& path, const std::optional<FileStamp>& stamp, qint64 readAt,
                                         const SidecarStat* sidecar) {
    ScannedMovie movie;
    movie.path = path;
    // The path a cache entry is kept under is the movie's own text: one copy serves both.
    const auto known = stamp ? knownFacts(path, *stamp, &movie.path) : std::nullopt;
    const auto info = sidecarInfo(movie.path, sidecar);
    movie.time = known ? known->facts.time : creationText(stamp);
    movie.text = info && info->title ? *info->title : baseName(path);
    movie.BID = info && info->BID ? *info->BID : fallbackBID;
    movie.stamp = stamp;
    movie.readAtNs = known ? known->readAtNs : readAt;
    // A file that cannot be reached cannot be measured either: its length is 0.
    if (known)
        movie.duration = known->facts.duration;
    else
        movie.measured = !stamp;
    return movie;
}

void LibraryScanner::keepLength(const ScannedMovie& movie, double duration) {
    // Kept in the list of the last refresh, unless the file changed since.
    const auto at = std::lower_bound(current_.begin(), current_.end(), movie,
                                     [](const ScannedMovie& a, const ScannedMovie& b) { return precedes(a, b); });
    if (at != current_.end() && at->path == movie.path && at->time == movie.time && at->stamp == movie.stamp) {
        at->duration = duration;
        at->measured = true;
        moviesChanged_ = moviesChanged_ || at->mayBeKept();
    }
}

std::optional<LibraryScanner::Known> LibraryScanner::knownFacts(const QString& path, const FileStamp& stamp,
                                                                QString* sharedPath) const {
    if (const auto at = previousAt_.constFind(path); at != previousAt_.cend()) {
        const ScannedMovie& known = previous_.at(*at);
        if (!(known.stamp == stamp))
            return std::nullopt;
        if (sharedPath)
            *sharedPath = known.path;
        return Known{{known.time, known.duration}, known.readAtNs};
    }
    // What the file kept had settled when it was kept.
    const MovieFacts* kept = fromFile_.find(path, stamp, sharedPath);
    return kept ? std::optional(Known{*kept, 0}) : std::nullopt;
}

qsizetype LibraryScanner::rememberPrevious(QList<ScannedMovie> movies) {
    previous_ = std::move(movies);
    previousAt_.clear();
    for (qsizetype i = 0; i < previous_.size(); ++i) {
        if (previous_.at(i).mayBeKept())
            previousAt_.insert(previous_.at(i).path, i);
    }
    return previousAt_.size();
}

void LibraryScanner::forgetPrevious(qsizetype keptBefore, qsizetype keptAfter) {
    moviesChanged_ = moviesChanged_ || keptAfter < keptBefore;
    previous_ = {};
    previousAt_ = {};
}

SidecarFacts LibraryScanner::sidecarInfo(const QString& moviePath, const SidecarStat* taken) {
    const QString path = sidecarPath(moviePath);
    const qint64 readAtNs = taken ? taken->readAtNs : clock_();
    const auto stamp = taken ? taken->stamp : FileStamp::of(path);
    if (!stamp)
        return std::nullopt;  // a file statx cannot reach cannot be opened either
    // Kept under the movie's path, whose text the movie's record shares.
    if (const auto* info = sidecars_.use(moviePath, *stamp))
        return *info;
    if (const auto* kept = sidecarsFromFile_.use(path, *stamp)) {
        auto info = ownCopy(*kept);
        sidecars_.takeUp(moviePath, *stamp, info);
        return info;
    }
    auto info = SubtitleSRT::shared().readInfo(QUrl::fromLocalFile(path));
    sidecars_.insert(moviePath, *stamp, readAtNs, info);
    return info;
}

std::optional<ScannedMovie> LibraryScanner::newestFromCacheFile(const QString& cacheFile, const QString& folder,
                                                                qsizetype moreThan) {
    const auto head = LibraryCacheFile::readHead(cacheFile);
    if (!head || head->folder != folder || head->movieCount <= moreThan || FileStamp::of(folder) != head->stamp)
        return std::nullopt;
    ScannedMovie newest = scanPath(head->newest);
    if (!newest.stamp)
        return std::nullopt;  // a symlink whose target went
    return newest;
}

// The head the cache file gets: none while the folder's stamp may hide a change (see
// FileStamp::isRacyAt), which the next refresh then writes.
std::optional<FolderHead> LibraryScanner::folderHead() const {
    if (!haveCurrent_ || current_.isEmpty() || !folderStamp_ || folderStamp_->isRacyAt(folderStampAtNs_))
        return std::nullopt;
    return FolderHead{folder_, *folderStamp_, current_.size(), current_.constFirst().path};
}

bool LibraryScanner::readCacheFile(const QString& path) {
    return LibraryCacheFile::read(path, fromFile_, sidecarsFromFile_, &savedHead_);
}

bool LibraryScanner::hasUnsavedChanges() const {
    return moviesChanged_ || fromFileChanged_ || fromFile_.hasChanged() || sidecarsFromFile_.hasChanged() ||
           sidecars_.hasChanged() || folderHead() != savedHead_;
}

bool LibraryScanner::writeCacheFile(const QString& path, QString* error) {
    auto head = folderHead();
    // What the cache file had that no reading has taken up yet, then what was read since: of two
    // entries of one path the reader keeps the later, so the newer one holds.
    const qsizetype count =
        fromFile_.size() + std::count_if(current_.cbegin(), current_.cend(), std::mem_fn(&ScannedMovie::mayBeKept));
    const auto forEachMovie = [&](const LibraryCacheFile::Entries<MovieFacts>::Visit& visit) {
        fromFile_.forEach(visit);
        for (const ScannedMovie& movie : std::as_const(current_)) {
            if (movie.mayBeKept())
                visit(movie.path, *movie.stamp, MovieFacts{movie.time, movie.duration});
        }
    };
    // The sidecars, kept by their movies' paths, go under their own; two movies of one base name
    // share a sidecar, written twice with the same facts.
    const qsizetype sidecarCount = sidecarsFromFile_.size() + sidecars_.size();
    const auto forEachSidecar = [&](const LibraryCacheFile::Entries<SidecarFacts>::Visit& visit) {
        sidecarsFromFile_.forEach(visit);
        sidecars_.forEach([&](const QString& moviePath, const FileStamp& stamp, const SidecarFacts& facts) {
            visit(sidecarPath(moviePath), stamp, facts);
        });
    };
    if (!LibraryCacheFile::write(path, {count, forEachMovie}, {sidecarCount, forEachSidecar}, head, error))
        return false;
    moviesChanged_ = fromFileChanged_ = false;
    fromFile_.markSaved();
    sidecarsFromFile_.markSaved();
    sidecars_.markSaved();
    savedHead_ = std::move(head);
    return true;
}
