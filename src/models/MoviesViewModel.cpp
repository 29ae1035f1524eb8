#include "models/MoviesViewModel.h"

#include "core/AppState.h"
#include "core/Events.h"
#include "models/LibraryLog.h"
#include "models/MediaProbe.h"
#include "models/MovieFiles.h"

#include <QFile>
#include <QPointer>
#include <QSet>
#include <QThreadPool>

#include <dirent.h>

#include <algorithm>
#include <cerrno>
#include <functional>
#include <memory>

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

QStringView pathExtension(QStringView name) {
    const qsizetype dot = extensionDot(name);
    return dot < 0 ? QStringView() : name.mid(dot + 1);
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

MoviesViewModel::MoviesViewModel(QObject* parent) : QAbstractListModel(parent) {}

MoviesViewModel& MoviesViewModel::shared() {
    static MoviesViewModel* instance = new MoviesViewModel;  // lives as long as the process
    return *instance;
}

// The refresh's own pool: its tasks wait for nothing but the disk, and a stuck file (whose
// probe is interrupted at quit) holds back no one else's work. Kept to the process's end.
static QThreadPool& refreshPool() {
    static QThreadPool* pool = [] {
        auto* p = new QThreadPool;
        p->setMaxThreadCount(1);
        p->setExpiryTimeout(30000);
        return p;
    }();
    return *pool;
}

void MoviesViewModel::refresh() {
    if (refreshing_)
        return;
    refreshing_ = true;
    removedWhileRefreshing_.clear();
    const QPointer<MoviesViewModel> self(this);
    refreshPool().start(
        [self, scanner = scanner_, folder = global().moviesFolder(), extensions = fileExtensions]() mutable {
            auto scanned = scanner.scanFolder(folder, extensions);
            // Only the finished list goes back, to be taken up by the main thread's event loop.
            QMetaObject::invokeMethod(
                self.data(),
                [self, scanner = std::move(scanner), scanned = std::move(scanned)]() mutable {
                    if (self)
                        self->finishRefresh(std::move(scanner), std::move(scanned));
                },
                Qt::QueuedConnection);
        });
}

void MoviesViewModel::finishRefresh(Scanner scanner, std::optional<QList<Scanned>> scanned) {
    refreshing_ = false;
    scanner_ = std::move(scanner);
    if (scanned) {
        // A movie removed meanwhile (deleted by the user) was listed before it went.
        scanned->removeIf([this](const Scanned& movie) { return removedWhileRefreshing_.contains(movie.url); });
    }
    removedWhileRefreshing_.clear();
    if (!scanned || !recordsDiffer(items_, *scanned)) {
        Q_EMIT refreshed(false);
        return;
    }
    // Records are drawn (each with a fresh id) only for a library that is published.
    QList<VideoItem> list;
    list.reserve(scanned->size());
    for (const Scanned& movie : *scanned)
        list.append(movie.record());
    beginResetModel();
    items_ = std::move(list);
    endResetModel();
    Q_EMIT notify().videoUpdated();
    Q_EMIT refreshed(true);
}

std::optional<QList<MoviesViewModel::Scanned>> MoviesViewModel::Scanner::scanFolder(const QString& folder,
                                                                                    const QStringList& extensions) {
    const auto names =
        listFolder(folder, [&extensions](QStringView name) { return extensions.contains(pathExtension(name)); });
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

VideoItem MoviesViewModel::loadItem(const QUrl& url) { return scanner_.scan(url).record(); }

VideoItem MoviesViewModel::Scanned::record() const {
    return VideoItem(url, time, text, BID, ItemColor::white, duration);
}

MoviesViewModel::Scanned MoviesViewModel::Scanner::scan(const QUrl& url) {
    const QString path = url.toLocalFile();
    const qint64 readAt = fileClockNowNs();
    // One statx gives both the creation date and the key under which earlier reads are kept.
    const auto stamp = FileStamp::of(path);
    const MovieFacts* facts = stamp ? movies.use(path, *stamp) : nullptr;
    const std::optional<MovieFacts> known = facts ? std::optional(*facts) : std::nullopt;
    const QString time = known ? known->time : creationText(stamp);

    const auto info = sidecarInfo(url, readAt);
    const QString text = info && info->title ? *info->title : baseName(path);
    const QString BID = info && info->BID ? *info->BID : fallbackBID;

    Scanned movie{url, time, text, BID, 0};
    if (known) {
        movie.duration = known->duration;
    } else {
        movie.duration = MediaProbe::duration(path);
        if (stamp)
            movies.insert(path, *stamp, readAt, MovieFacts{time, movie.duration});
    }
    return movie;
}

std::optional<SubtitleSRT::Info> MoviesViewModel::Scanner::sidecarInfo(const QUrl& movieURL, qint64 readAtNs) {
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
