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

// The creation date as the library shows it; a file that cannot be reached is undated.
QString creationText(const std::optional<FileStamp>& stamp) {
    return stamp ? stamp->creationText() : FileStamp::undatedText();
}

}  // namespace

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
    if (!scanned) {
        current_ = {};
        lastScanSize_ = 0;
        return {FolderScan::Outcome::unreadable, {}};
    }
    current_ = *scanned;
    lastScanSize_ = current_.size();
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
    current_.removeIf([&paths](const ScannedMovie& movie) { return paths.contains(movie.path); });
    for (const QString& path : std::as_const(paths)) {
        struct stat entry {};
        if (lstat(QFile::encodeName(path).constData(), &entry) != 0)
            continue;  // gone (a dangling symlink is still an entry, and listed)
        ScannedMovie movie = scanPath(path);
        const auto at = std::lower_bound(current_.begin(), current_.end(), movie,
                                         [](const ScannedMovie& a, const ScannedMovie& b) { return precedes(a, b); });
        current_.insert(at, std::move(movie));
    }
    lastScanSize_ = movies.size();
}

std::optional<QList<ScannedMovie>> LibraryScanner::scanFolder(const QString& folder, const FirstMovie& first) {
    const auto names = listMovies(folder);
    if (!names)
        return std::nullopt;
    const QString prefix = folder.endsWith(u'/') ? folder : folder + u'/';
    // Every movie stat'ed first: that is all its place in the library needs, so the newest is
    // known before any sidecar is read. One read time serves the batch: taken before its first
    // stat, it makes a change during the batch count as recent.
    QStringList paths;
    paths.reserve(names->size());
    for (const QString& name : *names)
        paths.append(prefix + name);
    const qint64 readAt = clock_();
    bool slow = false;
    QList<std::optional<FileStamp>> stamps = FileStamp::ofAll(paths, &slow);
    struct Listed {
        QString path;
        std::optional<FileStamp> stamp;
        QString time;
    };
    QList<Listed> listed;
    listed.reserve(paths.size());
    qsizetype newest = -1;
    for (qsizetype i = 0; i < paths.size(); ++i) {
        Listed entry{paths.at(i), stamps.at(i), {}};
        const MovieFacts* known = entry.stamp ? movies_.find(entry.path, *entry.stamp, &entry.path) : nullptr;
        entry.time = known ? known->time : creationText(entry.stamp);
        listed.append(std::move(entry));
        const Listed& last = listed.constLast();
        if (newest < 0 || last.time > listed.at(newest).time ||
            (last.time == listed.at(newest).time && last.path < listed.at(newest).path))
            newest = listed.size() - 1;
    }
    paths = {};
    stamps = {};
    if (first && newest >= 0) {
        const Listed& entry = listed.at(newest);
        first(scanStamped(entry.path, entry.stamp, readAt), listed.size());
    }
    // On a slow folder the sidecars are stat'ed side by side too, before they are read.
    QList<std::optional<FileStamp>> sidecarStamps;
    const qint64 sidecarsReadAt = clock_();
    if (slow) {
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
    // What was read from files no longer listed is of no further use.
    movies_.sweep();
    sidecars_.sweep();
    std::sort(scanned.begin(), scanned.end(),
              [](const ScannedMovie& a, const ScannedMovie& b) { return precedes(a, b); });
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
    const MovieFacts* known = stamp ? movies_.use(path, *stamp, &movie.path) : nullptr;
    const auto info = sidecarInfo(path, sidecar);
    movie.time = known ? known->time : creationText(stamp);
    movie.text = info && info->title ? *info->title : baseName(path);
    movie.BID = info && info->BID ? *info->BID : fallbackBID;
    movie.stamp = stamp;
    movie.readAtNs = readAt;
    // A file that cannot be reached cannot be measured either: its length is 0.
    if (known)
        movie.duration = known->duration;
    else
        movie.measured = !stamp;
    return movie;
}

void LibraryScanner::keepLength(const ScannedMovie& movie, double duration) {
    if (movie.stamp)
        movies_.insert(movie.path, *movie.stamp, movie.readAtNs, MovieFacts{movie.time, duration});
    // The list of the last refresh has it too, unless the file was read again since.
    const auto at = std::lower_bound(current_.begin(), current_.end(), movie,
                                     [](const ScannedMovie& a, const ScannedMovie& b) { return precedes(a, b); });
    if (at != current_.end() && at->path == movie.path && at->time == movie.time && at->stamp == movie.stamp) {
        at->duration = duration;
        at->measured = true;
    }
}

SidecarFacts LibraryScanner::sidecarInfo(const QString& moviePath, const SidecarStat* taken) {
    const QString path = sidecarPath(moviePath);
    const qint64 readAtNs = taken ? taken->readAtNs : clock_();
    const auto stamp = taken ? taken->stamp : FileStamp::of(path);
    if (!stamp)
        return std::nullopt;  // a file statx cannot reach cannot be opened either
    if (const auto* info = sidecars_.use(path, *stamp))
        return *info;
    auto info = SubtitleSRT::shared().readInfo(QUrl::fromLocalFile(path));
    sidecars_.insert(path, *stamp, readAtNs, info);
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
    return LibraryCacheFile::read(path, movies_, sidecars_, &savedHead_);
}

bool LibraryScanner::hasUnsavedChanges() const {
    return movies_.hasChanged() || sidecars_.hasChanged() || folderHead() != savedHead_;
}

bool LibraryScanner::writeCacheFile(const QString& path, QString* error) {
    auto head = folderHead();
    if (!LibraryCacheFile::write(path, movies_, sidecars_, head, error))
        return false;
    movies_.markSaved();
    sidecars_.markSaved();
    savedHead_ = std::move(head);
    return true;
}
