#include "models/MoviesViewModel.h"

#include "core/AppState.h"
#include "core/Events.h"
#include "core/WorkQueues.h"
#include "models/LengthProber.h"
#include "models/LibraryLog.h"
#include "models/MediaProbe.h"

#include <QElapsedTimer>
#include <QFile>
#include <QPromise>
#include <QThreadPool>
#include <QTimer>
#include <QtConcurrent/QtConcurrentRun>

#ifdef __GLIBC__
#include <malloc.h>
#endif

#include <algorithm>
#include <utility>

namespace {

// A piece of a publication: rows inserted or removed at once, and the main thread's time for
// one turn of pieces.
constexpr qsizetype rowsPerPiece = 250;
constexpr qint64 msPerTurn = 5;

// A refresh that read this many files or more left as many freed copies and lists between what
// the library keeps: the pages they leave whole go back to the system at its end.
constexpr qsizetype manyFiles = 1000;

void giveBackFreedPages() {
#ifdef __GLIBC__
    malloc_trim(0);  // 2-13 ms at 50,000 movies, on the library queue
#endif
}

// Two records of the same file with the same creation date stand at the same place in the
// library's order; a file whose date changed was replaced and moves.
template <class A, class B>
bool samePlace(const A& a, const B& b) {
    return a.path == b.path && a.time == b.time;
}

template <class A, class B>
bool before(const A& a, const B& b) {
    return LibraryScanner::precedes(a, b);
}

}  // namespace

// Move-only, so that the continuation takes the list out of the future rather than sharing it:
// a shared list would be copied whole at its first change on the main thread.
struct MoviesViewModel::ScanResult {
    ScanResult() = default;
    ScanResult(ScanResult&&) = default;
    ScanResult& operator=(ScanResult&&) = default;
    ScanResult(const ScanResult&) = delete;
    ScanResult& operator=(const ScanResult&) = delete;

    LibraryScanner::FolderScan scan;
    bool cacheFileRejected = false;
};

// A scanned list being put in place: a merge of the shown rows and the scanned ones, both in
// library order, done a piece at a time.
struct MoviesViewModel::Publishing {
    QList<ScannedMovie> target;
    qsizetype shown = 0;    // rows of items_ before this are final
    qsizetype scanned = 0;  // entries of target before this are in place
    bool fromEmpty = false;
    bool postedFirstPiece = false;
};

MoviesViewModel::MoviesViewModel(QObject* parent)
    : QAbstractListModel(parent),
      scanner_(std::make_shared<LibraryScanner>()),
      prober_(new LengthProber(workQueues().probes(), this)),
      firstMovie_(new QFutureWatcher<ScannedMovie>(this)) {
    connect(
        &notify(), &ApplicationEvents::videoSelected, this,
        [this](const VideoItem& item) { prober_->setOpenMovie(item.url()); }, Qt::DirectConnection);
    connect(prober_, &LengthProber::measured, this, &MoviesViewModel::applyLengths);
    connect(firstMovie_, &QFutureWatcher<ScannedMovie>::resultReadyAt, this,
            [this](int index) { publishFirst(firstMovie_->resultAt(index)); });
    connect(prober_, &LengthProber::idle, this, &MoviesViewModel::lengthsDone);
}

MoviesViewModel::~MoviesViewModel() = default;

MoviesViewModel& MoviesViewModel::shared() {
    static MoviesViewModel* instance = [] {
        auto* model = new MoviesViewModel;  // lives as long as the process
        model->setCacheFile(LibraryCacheFile::defaultPath());
        return model;
    }();
    return *instance;
}

void MoviesViewModel::refresh() {
    if (refreshing_)
        return;
    refreshing_ = true;
    removedWhileRefreshing_.clear();
    const QString cacheFile = std::exchange(cacheFileRead_, true) ? QString() : cacheFile_;
    // A row removed by hand comes back when its file is still there, changed or not.
    const bool listUnchanged = std::exchange(removedRows_, false);
    // An empty library takes the newest movie as soon as the scanner knows it.
    auto first = std::make_shared<QPromise<ScannedMovie>>();
    firstMovie_->setFuture(first->future());
    first->start();
    QtConcurrent::run(&workQueues().library(), [scanner = scanner_, folder = global().moviesFolder(), cacheFile,
                                                listUnchanged, first, wanted = items_.isEmpty()] {
        ScanResult result;
        bool cacheRead = cacheFile.isEmpty();
        const auto readCache = [&] {
            // A file that is there but not ours is replaced by the next write.
            if (!std::exchange(cacheRead, true) && !scanner->readCacheFile(cacheFile) && QFile::exists(cacheFile)) {
                qCWarning(lcLibrary) << "ignoring the library cache" << cacheFile << "which is damaged or not ours";
                result.cacheFileRejected = true;
            }
        };
        // A list of one piece comes whole in one turn anyway. A longer one tells its newest movie
        // first: from the cache file's head where the folder has not changed since, else once
        // the listing and the stats give it; the rest of the reading uses the whole cache file.
        bool told = false;
        if (wanted && !cacheFile.isEmpty()) {
            if (auto newest = scanner->newestFromCacheFile(cacheFile, folder, rowsPerPiece)) {
                first->addResult(std::move(*newest));
                told = true;
                // Read before the folder: its paths then share the text of the cache's keys
                // rather than leave as many freed copies between what the library keeps.
                readCache();
            }
        }
        LibraryScanner::FirstMovie tell = [&](const ScannedMovie& newest, qsizetype listed) {
            if (wanted && !told && listed > rowsPerPiece)
                first->addResult(newest);
            readCache();
        };
        result.scan = scanner->refreshFolder(folder, listUnchanged, tell);
        readCache();
        first->finish();
        return result;
    }).then(this, [this](ScanResult result) {
        // Always from the event loop: a continuation attached to a task that has already
        // finished runs at once, which would publish inside refresh() itself.
        QMetaObject::invokeMethod(
            this,
            [this, result = std::move(result)]() mutable {
                rewriteCacheFile_ = rewriteCacheFile_ || result.cacheFileRejected;
                if (result.scan.outcome == LibraryScanner::FolderScan::Outcome::listed)
                    publish(std::move(result.scan.movies));
                else
                    finishPublishing();
            },
            Qt::QueuedConnection);
    });
}

void MoviesViewModel::publishFirst(const ScannedMovie& newest) {
    // Only into the empty list of a launch, before the whole list comes: the sidebar may open it
    // while the rest of the folder is read. The whole list then puts the rest around it.
    if (!items_.isEmpty() || publishing_ || removedWhileRefreshing_.contains(newest.path))
        return;
    beginInsertRows({}, 0, 0);
    items_.append(newest.record(newest.measured ? newest.duration : 0));
    endInsertRows();
    changedByRefresh_ = true;
    Q_EMIT notify().videoUpdated();
}

void MoviesViewModel::publish(QList<ScannedMovie> scanned) {
    publishing_ = std::make_unique<Publishing>();
    publishing_->target = std::move(scanned);
    publishing_->fromEmpty = items_.isEmpty();
    if (publishPiece())
        finishPublishing();
}

// Puts the next piece of the scanned list in place; true once the whole list is. The scanned
// list is only read here: the scanner keeps a share of it, and a write would copy it whole.
bool MoviesViewModel::publishPiece() {
    Publishing& p = *publishing_;
    const QList<ScannedMovie>& target = p.target;
    const auto removed = [this](const ScannedMovie& movie) { return removedWhileRefreshing_.contains(movie.path); };
    QElapsedTimer spent;
    spent.start();
    bool done = false;
    while (!done && spent.elapsed() < msPerTurn) {
        // A movie removed meanwhile (deleted by the user) was listed before it went.
        while (p.scanned < target.size() && removed(target[p.scanned]))
            ++p.scanned;
        const bool haveShown = p.shown < items_.size();
        const bool haveScanned = p.scanned < target.size();
        if (!haveShown && !haveScanned) {
            done = true;
        } else if (haveShown && haveScanned && samePlace(items_[p.shown], target[p.scanned])) {
            const ScannedMovie& movie = target[p.scanned++];
            VideoItem& item = items_[p.shown++];
            // Until it is measured a movie keeps the length it shows.
            const double duration = movie.measured ? movie.duration : item.duration;
            if (item.text != movie.text || item.BID != movie.BID || item.duration != duration) {
                item = movie.record(duration);
                const QModelIndex changed = index(int(p.shown - 1));
                Q_EMIT dataChanged(changed, changed);
                changedByRefresh_ = true;
            }
        } else if (haveShown && (!haveScanned || before(items_[p.shown], target[p.scanned]))) {
            // Rows no longer in the folder, up to the next scanned one.
            qsizetype end = p.shown + 1;
            while (end < items_.size() && end - p.shown < rowsPerPiece &&
                   (!haveScanned || before(items_[end], target[p.scanned])))
                ++end;
            beginRemoveRows({}, int(p.shown), int(end - 1));
            items_.remove(p.shown, end - p.shown);
            endRemoveRows();
            changedByRefresh_ = true;
        } else {
            // New rows, up to the next shown one.
            qsizetype end = p.scanned + 1;
            while (end < target.size() && end - p.scanned < rowsPerPiece && !removed(target[end]) &&
                   (!haveShown || before(target[end], items_[p.shown])))
                ++end;
            const qsizetype count = end - p.scanned;
            beginInsertRows({}, int(p.shown), int(p.shown + count - 1));
            // Room for the whole list at once: growing by pieces would move every row each time.
            items_.reserve(std::max(items_.capacity(), items_.size() + target.size() - p.scanned));
            items_.insert(p.shown, count, VideoItem());
            for (qsizetype k = 0; k < count; ++k) {
                const ScannedMovie& movie = target[p.scanned + k];
                items_[p.shown + k] = movie.record(movie.measured ? movie.duration : 0);
            }
            endInsertRows();
            p.shown += count;
            p.scanned = end;
            changedByRefresh_ = true;
        }
    }
    if (!done) {
        // The newest movies are in place: the sidebar may open the first one meanwhile.
        if (p.fromEmpty && !p.postedFirstPiece && !items_.isEmpty()) {
            p.postedFirstPiece = true;
            Q_EMIT notify().videoUpdated();
        }
        QTimer::singleShot(0, this, [this] {
            if (publishPiece())
                finishPublishing();
        });
    }
    return done;
}

void MoviesViewModel::finishPublishing() {
    QList<ScannedMovie> toMeasure;
    if (publishing_) {
        // The prober passes over the measured ones on its own thread.
        toMeasure = std::move(publishing_->target);
        if (!removedWhileRefreshing_.isEmpty())
            for (ScannedMovie& movie : toMeasure)
                if (removedWhileRefreshing_.contains(movie.path))
                    movie.measured = true;
        const bool changed = changedByRefresh_;
        publishing_.reset();
        if (changed)
            Q_EMIT notify().videoUpdated();
    }
    awaitingLengths_ = true;
    prober_->measure(std::move(toMeasure));
    if (prober_->isIdle())
        lengthsDone();
}

std::optional<int> MoviesViewModel::rowOf(const ScannedMovie& movie) const {
    // The rows are in library order: a binary search finds the place of a file and date.
    const auto found = std::lower_bound(items_.cbegin(), items_.cend(), movie,
                                        [](const VideoItem& item, const ScannedMovie& m) { return before(item, m); });
    if (found == items_.cend() || !samePlace(*found, movie))
        return std::nullopt;
    return int(found - items_.cbegin());
}

void MoviesViewModel::applyLengths(const QList<MeasuredLength>& lengths) {
    QList<std::pair<ScannedMovie, double>> keep;
    for (const MeasuredLength& measured : lengths) {
        if (measured.outside) {
            Q_EMIT lengthMeasured(measured.movie.url(), measured.seconds);
            continue;
        }
        keep.append({measured.movie, measured.seconds});
        const auto row = rowOf(measured.movie);
        if (!row || items_[*row].duration == measured.seconds)
            continue;
        items_[*row].duration = measured.seconds;
        const QModelIndex changed = index(*row);
        Q_EMIT dataChanged(changed, changed, {DurationRole, ItemRole});
        changedByRefresh_ = true;
        Q_EMIT lengthMeasured(measured.movie.url(), measured.seconds);
    }
    if (!keep.isEmpty())
        workQueues().library().start([scanner = scanner_, keep = std::move(keep)] {
            for (const auto& [movie, seconds] : keep)
                scanner->keepLength(movie, seconds);
        });
}

void MoviesViewModel::lengthsDone() {
    if (!std::exchange(awaitingLengths_, false))
        return;
    // Queued behind the lengths kept above. Nothing is written while the program quits: an
    // interrupted probe measured nothing.
    QtConcurrent::run(&workQueues().library(), [scanner = scanner_, cacheFile = cacheFile_,
                                                rewrite = std::exchange(rewriteCacheFile_, false)] {
        if (!cacheFile.isEmpty() && !MediaProbe::isInterrupted() && (rewrite || scanner->hasUnsavedChanges())) {
            QString error;
            if (!scanner->writeCacheFile(cacheFile, &error))
                qCWarning(lcLibrary) << "cannot keep the library in" << cacheFile << ":" << error;
        }
        if (scanner->lastScanSize() >= manyFiles)
            giveBackFreedPages();
    }).then(this, [this] { finishRefresh(); });
}

void MoviesViewModel::finishRefresh() {
    refreshing_ = false;
    removedWhileRefreshing_.clear();
    Q_EMIT refreshed(std::exchange(changedByRefresh_, false));
}

VideoItem MoviesViewModel::loadItem(const QUrl& url) {
    // A scanner of its own: what the library's read is the library queue's.
    ScannedMovie movie = LibraryScanner().scan(url);
    if (!movie.measured) {
        const auto row = rowOf(movie);
        if (row && items_[*row].duration > 0)
            movie.duration = items_[*row].duration;
        else
            prober_->measureOutside(url);
    }
    return movie.record(movie.duration);
}

bool MoviesViewModel::isDifferent(const QList<VideoItem>& a, const QList<VideoItem>& b) {
    if (a.size() != b.size())
        return true;
    for (qsizetype i = 0; i < a.size(); ++i) {
        if (a[i].text != b[i].text || a[i].path != b[i].path || a[i].time != b[i].time || a[i].BID != b[i].BID ||
            a[i].duration != b[i].duration)
            return true;
    }
    return false;
}

void MoviesViewModel::removeItem(int row) {
    if (row < 0 || row >= items_.size())
        return;
    if (refreshing_)
        removedWhileRefreshing_.append(items_[row].path);
    removedRows_ = true;
    if (publishing_ && row < publishing_->shown)
        --publishing_->shown;
    beginRemoveRows({}, row, row);
    items_.removeAt(row);
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
        return item.url();
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
