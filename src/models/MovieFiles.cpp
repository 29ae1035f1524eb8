#include "models/MovieFiles.h"

#include "models/FileStamp.h"
#include "models/MediaProbe.h"

#include "subtitles/FileNaming.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QLoggingCategory>
#include <QStandardPaths>
#include <QThread>
#include <QThreadPool>

#include <algorithm>

namespace MovieFiles {
namespace {

Q_LOGGING_CATEGORY(lcMovieFiles, "reelnook.moviefiles")

// Measurements get their own pool: a task here never waits for anything but the file, so a
// full pool only queues work, and no one else's long tasks can hold a measurement back.
QThreadPool& probePool() {
    static QThreadPool* pool = [] {
        auto* p = new QThreadPool;  // kept to the end of the process, like the other shared services
        p->setMaxThreadCount(std::max(2, QThread::idealThreadCount()));
        p->setExpiryTimeout(30000);
        return p;
    }();
    return *pool;
}

}  // namespace

std::optional<QDateTime> createDate(const QUrl& url) {
    const auto stamp = FileStamp::of(url.toLocalFile());
    return stamp ? stamp->birthTime() : std::nullopt;
}

void getDuration(const QUrl& url, std::function<void(double seconds)> completion) {
    const QString path = url.toLocalFile();
    probePool().start([path, completion = std::move(completion)] { completion(MediaProbe::duration(path)); });
}

bool trash(const QUrl& url) {
    const QString path = url.toLocalFile();
    if (path.isEmpty())
        return false;
    // Qt makes the home trash inside the XDG data folder but not that folder itself, which a
    // fresh account may not have yet.
    QDir().mkpath(QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation));
    if (QFile::moveToTrash(path))
        return true;
    if (QFileInfo::exists(path) || QFileInfo(path).isSymLink())
        qCWarning(lcMovieFiles) << "could not move" << path << "to the trash";
    return false;
}

bool trashMovie(const QUrl& movie, const QStringList& movieExtensions) {
    bool trashed = trash(movie);
    // The sidecars belong to every movie of the folder with the same base name ("a.mov" and
    // "a.mp4" share "a.srt"): they go only with the last of them.
    for (const QString& extension : movieExtensions) {
        const QUrl other = replacingLastExtension(movie, extension);
        if (other != movie && QFileInfo::exists(other.toLocalFile()))
            return trashed;
    }
    for (const char* extension : {"srt", "vtt"}) {
        const QUrl sidecar = replacingLastExtension(movie, QString::fromLatin1(extension));
        const QFileInfo info(sidecar.toLocalFile());
        if (info.exists() || info.isSymLink())
            trashed = trash(sidecar) && trashed;
    }
    return trashed;
}

}  // namespace MovieFiles
