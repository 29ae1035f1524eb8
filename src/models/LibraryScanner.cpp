#include "models/LibraryScanner.h"

#include "models/LibraryLog.h"
#include "models/MovieFiles.h"
#include "subtitles/SubtitleSRT.h"

#include <QFile>
#include <QSet>

#include <dirent.h>

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

// The creation date as the library shows it: local time, or the placeholder of the undated.
QString creationText(const std::optional<FileStamp>& stamp) {
    const auto born = stamp ? stamp->birthTime() : std::nullopt;
    return born ? born->toString(QStringLiteral("yyyy-MM-dd HH:mm:ss")) : LibraryScanner::undatedText();
}

}  // namespace

VideoItem ScannedMovie::record() const { return VideoItem(url, time, text, BID, ItemColor::white, duration); }

LibraryScanner::LibraryScanner(Clock clock) : clock_(std::move(clock)) {}

const QString& LibraryScanner::undatedText() {
    static const QString text = QStringLiteral("0000-00-00 00:00:00");
    return text;
}

std::optional<QList<ScannedMovie>> LibraryScanner::scanFolder(const QString& folder) {
    const auto names = listMovies(folder);
    if (!names)
        return std::nullopt;
    const QString prefix = folder.endsWith(u'/') ? folder : folder + u'/';
    QList<ScannedMovie> scanned;
    scanned.reserve(names->size());
    for (const QString& name : *names)
        scanned.append(scan(QUrl::fromLocalFile(prefix + name)));
    // What was read from files no longer listed is of no further use.
    movies_.sweep();
    sidecars_.sweep();
    std::sort(scanned.begin(), scanned.end(),
              [](const ScannedMovie& a, const ScannedMovie& b) { return precedes(a, b); });
    return scanned;
}

ScannedMovie LibraryScanner::scan(const QUrl& url) {
    const QString path = url.toLocalFile();
    const qint64 readAt = clock_();
    // One statx gives both the creation date and the key under which earlier reads are kept.
    const auto stamp = FileStamp::of(path);
    const MovieFacts* known = stamp ? movies_.use(path, *stamp) : nullptr;

    const auto info = sidecarInfo(url, readAt);
    ScannedMovie movie;
    movie.url = url;
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
        movies_.insert(movie.url.toLocalFile(), *movie.stamp, movie.readAtNs, MovieFacts{movie.time, duration});
}

SidecarFacts LibraryScanner::sidecarInfo(const QUrl& movieURL, qint64 readAtNs) {
    const QUrl url = SubtitleSRT::sidecarURL(movieURL);
    const QString path = url.toLocalFile();
    const auto stamp = FileStamp::of(path);
    if (!stamp)
        return std::nullopt;  // a file statx cannot reach cannot be opened either
    if (const auto* info = sidecars_.use(path, *stamp))
        return *info;
    auto info = SubtitleSRT::shared().readInfo(url);
    sidecars_.insert(path, *stamp, readAtNs, info);
    return info;
}

bool LibraryScanner::readCacheFile(const QString& path) { return LibraryCacheFile::read(path, movies_, sidecars_); }

bool LibraryScanner::hasUnsavedChanges() const { return movies_.hasChanged() || sidecars_.hasChanged(); }

bool LibraryScanner::writeCacheFile(const QString& path, QString* error) {
    if (!LibraryCacheFile::write(path, movies_, sidecars_, error))
        return false;
    movies_.markSaved();
    sidecars_.markSaved();
    return true;
}
