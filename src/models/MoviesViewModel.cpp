#include "models/MoviesViewModel.h"

#include "core/AppState.h"
#include "core/Events.h"
#include "core/WorkQueues.h"
#include "models/LibraryLog.h"
#include "models/MediaProbe.h"
#include "models/MovieFiles.h"

#include <QElapsedTimer>
#include <QFile>
#include <QHash>
#include <QMutex>
#include <QSet>
#include <QThreadPool>

#include <dirent.h>

#include <algorithm>
#include <cerrno>
#include <functional>
#include <memory>
#include <utility>

namespace {

const QString undatedText = QStringLiteral("0000-00-00 00:00:00");
const QString fallbackBID = QStringLiteral("com.apple.QuickTimePlayerX");

struct DirCloser {
    void operator()(DIR* dir) const { closedir(dir); }
};

// Where a file name's extension starts: after its last ".", unless that dot begins the name
// (".mp4" is a hidden name without extension); -1 when there is none.
qsizetype extensionDot(QStringView name) {
    const qsizetype dot = name.lastIndexOf(u'.');
    return dot > 0 ? dot : -1;
}

// The names of the folder's direct entries (hidden ones included) that `keep` accepts, in
// name order; absent when the folder cannot be listed, which is told apart from an empty one.
std::optional<QStringList> listFolder(const QString& folder, const std::function<bool(QStringView)>& keep) {
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
        if (qstrcmp(name, ".") == 0 || qstrcmp(name, "..") == 0)
            continue;
        QString decoded = QFile::decodeName(name);
        if (!keep(decoded))
            continue;
        // A name that is not in the file-name encoding cannot be opened again by its decoded
        // form: it is left out rather than listed as a file that does not exist.
        if (QFile::encodeName(decoded) != QByteArrayView(name)) {
            static QSet<QByteArray> told;  // the refresh's one worker only; one line per name and run
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
    std::sort(names.begin(), names.end());
    return names;
}

// The last path component without its extension.
QString baseName(const QString& path) {
    const QString name = path.mid(path.lastIndexOf(u'/') + 1);
    const qsizetype dot = extensionDot(name);
    return dot < 0 ? name : name.left(dot);
}

// The creation date as the library shows it: local time, or the placeholder of the undated.
QString creationText(const std::optional<FileStamp>& stamp) {
    const auto born = stamp ? stamp->birthTime() : std::nullopt;
    return born ? born->toString(QStringLiteral("yyyy-MM-dd HH:mm:ss")) : undatedText;
}

}  // namespace

struct MoviesViewModel::OpenMovie {
    QMutex lock;
    QUrl url;
};

MoviesViewModel::MoviesViewModel(QObject* parent)
    : QAbstractListModel(parent), openMovie_(std::make_shared<OpenMovie>()) {
    connect(
        &notify(), &ApplicationEvents::videoSelected, this,
        [open = openMovie_](const VideoItem& item) {
            const QMutexLocker locked(&open->lock);
            open->url = item.url;
        },
        Qt::DirectConnection);
}

MoviesViewModel& MoviesViewModel::shared() {
    static MoviesViewModel* instance = [] {
        auto* model = new MoviesViewModel;  // lives as long as the process
        model->setCacheFile(LibraryCacheFile::defaultPath());
        return model;
    }();
    return *instance;
}

// The refresh's own pool: its tasks wait for nothing but the disk, and a stuck file (whose
// probe is interrupted at quit) holds back no one else's work.
static QThreadPool& refreshPool() { return workQueues().library(); }

// Files from outside the library are measured apart, never behind a refresh's probes.
static QThreadPool& outsidePool() { return workQueues().probes(); }

// Runs `work` on the main thread's event loop while the model lives.
template <class Work>
static void postTo(const QPointer<MoviesViewModel>& self, Work work) {
    QMetaObject::invokeMethod(
        self.data(),
        [self, work = std::move(work)]() mutable {
            if (self)
                work(*self);
        },
        Qt::QueuedConnection);
}

void MoviesViewModel::refresh() {
    if (refreshing_)
        return;
    refreshing_ = true;
    removedWhileRefreshing_.clear();
    const bool readCacheFile = !std::exchange(cacheFileRead_, true);
    refreshPool().start([self = QPointer(this), scanner = scanner_, folder = global().moviesFolder(),
                         cacheFile = cacheFile_, readCacheFile, open = openMovie_]() mutable {
        runRefresh(self, std::move(scanner), folder, cacheFile, readCacheFile, open);
    });
}

void MoviesViewModel::runRefresh(const QPointer<MoviesViewModel>& self, Scanner scanner, const QString& folder,
                                 const QString& cacheFile, bool readCacheFile, const std::shared_ptr<OpenMovie>& open) {
    // A file that is there but not ours is replaced by the next write.
    bool rewriteCacheFile = false;
    if (readCacheFile && !cacheFile.isEmpty() && !LibraryCacheFile::read(cacheFile, scanner.movies, scanner.sidecars) &&
        QFile::exists(cacheFile)) {
        qCWarning(lcLibrary) << "ignoring the library cache" << cacheFile << "which is damaged or not ours";
        rewriteCacheFile = true;
    }

    // The list goes out before any movie is probed: the newest one can open at once.
    auto scanned = scanner.scanFolder(folder);
    postTo(self, [scanned](MoviesViewModel& model) mutable { model.publish(std::move(scanned)); });

    if (scanned) {
        QList<qsizetype> pending;
        for (qsizetype i = 0; i < scanned->size(); ++i)
            if (!(*scanned)[i].measured)
                pending.append(i);
        QList<Measured> lengths;
        QElapsedTimer sincePost;
        sincePost.start();
        QUrl openURL;
        qsizetype openAt = -1;  // in `pending`
        while (!pending.isEmpty() && !MediaProbe::isInterrupted()) {
            {
                const QMutexLocker locked(&open->lock);
                if (open->url != openURL) {
                    openURL = open->url;
                    openAt = -1;
                    for (qsizetype i = 0; i < pending.size() && openAt < 0; ++i)
                        if ((*scanned)[pending[i]].url == openURL)
                            openAt = i;
                }
            }
            const bool isOpen = openAt >= 0;
            const Scanned& movie = (*scanned)[pending.takeAt(isOpen ? std::exchange(openAt, -1) : 0)];
            const double duration = scanner.measure(movie);
            if (MediaProbe::isInterrupted())
                break;
            lengths.append({movie.url, duration});
            // The open movie's length is awaited by its timeline; the others go out in batches.
            if (isOpen || lengths.size() >= 64 || sincePost.elapsed() >= 100) {
                postTo(self, [lengths](MoviesViewModel& model) { model.applyLengths(lengths); });
                lengths.clear();
                sincePost.restart();
            }
        }
        if (!lengths.isEmpty())
            postTo(self, [lengths](MoviesViewModel& model) { model.applyLengths(lengths); });
    }

    // Nothing is written while the program quits: an interrupted probe measured nothing.
    const bool changed = scanner.movies.hasChanged() || scanner.sidecars.hasChanged() || rewriteCacheFile;
    if (!cacheFile.isEmpty() && changed && !MediaProbe::isInterrupted()) {
        QString error;
        if (LibraryCacheFile::write(cacheFile, scanner.movies, scanner.sidecars, &error)) {
            scanner.movies.markSaved();
            scanner.sidecars.markSaved();
        } else {
            qCWarning(lcLibrary) << "cannot keep the library in" << cacheFile << ":" << error;
        }
    }
    postTo(self,
           [scanner = std::move(scanner)](MoviesViewModel& model) mutable { model.finishRefresh(std::move(scanner)); });
}

void MoviesViewModel::publish(std::optional<QList<Scanned>> scanned) {
    if (!scanned)
        return;
    // A movie removed meanwhile (deleted by the user) was listed before it went.
    scanned->removeIf([this](const Scanned& movie) { return removedWhileRefreshing_.contains(movie.url); });
    // Until it is measured a movie keeps the length it shows, if any.
    for (Scanned& movie : *scanned)
        if (!movie.measured)
            movie.duration = shownLength(movie.url);
    if (!recordsDiffer(items_, *scanned))
        return;
    // Records are drawn (each with a fresh id) only for a library that is published.
    QList<VideoItem> list;
    list.reserve(scanned->size());
    for (const Scanned& movie : *scanned)
        list.append(movie.record());
    beginResetModel();
    items_ = std::move(list);
    indexRows();
    endResetModel();
    changedByRefresh_ = true;
    Q_EMIT notify().videoUpdated();
}

void MoviesViewModel::indexRows() {
    rows_.clear();
    rows_.reserve(items_.size());
    for (int row = 0; row < items_.size(); ++row)
        rows_.insert(items_[row].url, row);
}

double MoviesViewModel::shownLength(const QUrl& url) const {
    const auto found = rows_.constFind(url);
    return found == rows_.cend() ? 0.0 : items_[*found].duration;
}

void MoviesViewModel::applyLengths(const QList<Measured>& lengths) {
    // The row index is kept with the list: a batch costs what its lengths cost, whatever the
    // library's size.
    for (const Measured& measured : lengths) {
        const auto found = rows_.constFind(measured.url);
        if (found == rows_.cend() || items_[*found].duration == measured.duration)
            continue;
        items_[*found].duration = measured.duration;
        const QModelIndex changed = index(*found);
        Q_EMIT dataChanged(changed, changed, {DurationRole, ItemRole});
        changedByRefresh_ = true;
        Q_EMIT lengthMeasured(measured.url, measured.duration);
    }
}

void MoviesViewModel::finishRefresh(Scanner scanner) {
    refreshing_ = false;
    scanner_ = std::move(scanner);
    removedWhileRefreshing_.clear();
    Q_EMIT refreshed(std::exchange(changedByRefresh_, false));
}

std::optional<QList<MoviesViewModel::Scanned>> MoviesViewModel::Scanner::scanFolder(const QString& folder) {
    const auto names = listFolder(folder, [](QStringView name) { return MovieFiles::isMovieName(name); });
    if (!names)
        return std::nullopt;
    const QString prefix = folder.endsWith(u'/') ? folder : folder + u'/';
    QList<Scanned> scanned;
    scanned.reserve(names->size());
    for (const QString& name : *names)
        scanned.append(scan(QUrl::fromLocalFile(prefix + name)));
    // What was read from files no longer listed is of no further use.
    movies.sweep();
    sidecars.sweep();
    // Newest first; the fixed-width date text sorts like the date, the undated last.
    std::stable_sort(scanned.begin(), scanned.end(),
                     [](const Scanned& a, const Scanned& b) { return a.time > b.time; });
    return scanned;
}

VideoItem MoviesViewModel::loadItem(const QUrl& url) {
    Scanned movie = scanner_.scan(url);
    if (!movie.measured) {
        movie.duration = shownLength(url);
        measureLater(url);
    }
    return movie.record();
}

void MoviesViewModel::measureLater(const QUrl& url) {
    outsidePool().start([self = QPointer(this), url] {
        const double duration = MediaProbe::duration(url.toLocalFile());
        if (MediaProbe::isInterrupted())
            return;
        postTo(self, [url, duration](MoviesViewModel& model) { Q_EMIT model.lengthMeasured(url, duration); });
    });
}

VideoItem MoviesViewModel::Scanned::record() const {
    return VideoItem(url, time, text, BID, ItemColor::white, duration);
}

MoviesViewModel::Scanned MoviesViewModel::Scanner::scan(const QUrl& url) {
    const QString path = url.toLocalFile();
    const qint64 readAt = fileClockNowNs();
    // One statx gives both the creation date and the key under which earlier reads are kept.
    const auto stamp = FileStamp::of(path);
    const MovieFacts* known = stamp ? movies.use(path, *stamp) : nullptr;

    const auto info = sidecarInfo(url, readAt);
    Scanned movie;
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

double MoviesViewModel::Scanner::measure(const Scanned& movie) {
    const QString path = movie.url.toLocalFile();
    const double duration = MediaProbe::duration(path);
    if (movie.stamp && !MediaProbe::isInterrupted())
        movies.insert(path, *movie.stamp, movie.readAtNs, MovieFacts{movie.time, duration});
    return duration;
}

SidecarFacts MoviesViewModel::Scanner::sidecarInfo(const QUrl& movieURL, qint64 readAtNs) {
    const QUrl url = SubtitleSRT::sidecarURL(movieURL);
    const QString path = url.toLocalFile();
    const auto stamp = FileStamp::of(path);
    if (!stamp)
        return std::nullopt;  // a file statx cannot reach cannot be opened either
    if (const auto* info = sidecars.use(path, *stamp))
        return *info;
    auto info = SubtitleSRT::shared().readInfo(url);
    sidecars.insert(path, *stamp, readAtNs, info);
    return info;
}

bool MoviesViewModel::isDifferent(const QList<VideoItem>& a, const QList<VideoItem>& b) { return recordsDiffer(a, b); }

template <class A, class B>
bool MoviesViewModel::recordsDiffer(const QList<A>& a, const QList<B>& b) {
    if (a.size() != b.size())
        return true;
    for (qsizetype i = 0; i < a.size(); ++i) {
        if (a[i].text != b[i].text || a[i].url != b[i].url || a[i].time != b[i].time || a[i].BID != b[i].BID ||
            a[i].duration != b[i].duration)
            return true;
    }
    return false;
}

void MoviesViewModel::removeItem(int row) {
    if (row < 0 || row >= items_.size())
        return;
    if (refreshing_)
        removedWhileRefreshing_.append(items_[row].url);
    beginRemoveRows({}, row, row);
    items_.removeAt(row);
    indexRows();
    endRemoveRows();
}

int MoviesViewModel::rowCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : static_cast<int>(items_.size());
}

QVariant MoviesViewModel::data(const QModelIndex& index, int role) const {
    if (!index.isValid() || index.row() < 0 || index.row() >= items_.size())
        return {};
    const VideoItem& item = items_[index.row()];
    switch (role) {
    case Qt::DisplayRole:
    case TextRole:
        return item.text;
    case TimeRole:
        return item.time;
    case ColorRole:
        return QVariant::fromValue(item.color);
    case BIDRole:
        return item.BID;
    case URLRole:
        return item.url;
    case DurationRole:
        return item.duration;
    case ItemRole:
        return QVariant::fromValue(item);
    default:
        return {};
    }
}

QHash<int, QByteArray> MoviesViewModel::roleNames() const {
    return {{TextRole, "text"}, {TimeRole, "time"},         {ColorRole, "color"}, {BIDRole, "BID"},
            {URLRole, "url"},   {DurationRole, "duration"}, {ItemRole, "item"}};
}
