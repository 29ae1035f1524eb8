#include "models/MovieFiles.h"

#include "models/FileStamp.h"
#include "models/LibraryLog.h"
#include "models/MediaProbe.h"

#include "subtitles/FileNaming.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QStandardPaths>
#include <QThread>
#include <QThreadPool>

#include <algorithm>

namespace MovieFiles {
namespace {

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

// Every spelling of `text` in upper and lower case letters ("mp4": "mp4", "Mp4", ... "MP4").
QStringList caseSpellings(const QString& text) {
    QStringList spellings{text.toLower()};
    for (qsizetype i = 0; i < text.size(); ++i) {
        if (text[i].toUpper() == text[i].toLower())
            continue;
        const qsizetype count = spellings.size();
        for (qsizetype k = 0; k < count; ++k) {
            QString upper = spellings[k];
            upper[i] = upper[i].toUpper();
            spellings.append(upper);
        }
    }
    return spellings;
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

bool trash(const QUrl& url, QString* error) {
    const auto fail = [error](const QString& reason) {
        if (error)
            *error = reason;
        return false;
    };
    const QString path = url.toLocalFile();
    if (path.isEmpty())
        return fail(QStringLiteral("no file name"));
    // Qt falls back on the home trash inside the XDG data folder but makes neither that folder
    // nor, when something else stands there, any trash at all: it then moves the file into a
    // "files" folder of the working directory and reports success. The home trash is made
    // here first, and without it nothing is moved.
    const QString homeTrash =
        QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation) + QStringLiteral("/Trash");
    if (!QDir().mkpath(homeTrash + QStringLiteral("/files")) || !QDir().mkpath(homeTrash + QStringLiteral("/info")))
        return fail(QStringLiteral("the trash folder %1 cannot be made").arg(homeTrash));
    QFile file(path);
    if (file.moveToTrash())
        return true;
    if (QFileInfo::exists(path) || QFileInfo(path).isSymLink())
        qCWarning(lcLibrary) << "could not move" << path << "to the trash:" << file.errorString();
    return fail(file.errorString());
}

bool isMovieName(QStringView fileName) {
    const qsizetype dot = fileName.lastIndexOf(u'.');
    if (dot <= 0)
        return false;
    const QStringView extension = fileName.mid(dot + 1);
    return extension.compare(u"mp4", Qt::CaseInsensitive) == 0 || extension.compare(u"mov", Qt::CaseInsensitive) == 0;
}

bool trashMovie(const QUrl& movie, const QStringList& movieExtensions, QString* error) {
    if (!trash(movie, error))
        return false;
    // The sidecars belong to every movie of the folder with the same base name ("a.mov",
    // "a.MP4" and "a.mp4" share "a.srt"): they go only with the last of them.
    for (const QString& extension : movieExtensions) {
        for (const QString& spelling : caseSpellings(extension)) {
            const QUrl other = replacingLastExtension(movie, spelling);
            if (other != movie && QFileInfo::exists(other.toLocalFile()))
                return true;
        }
    }
    for (const char* extension : {"srt", "vtt"}) {
        const QUrl sidecar = replacingLastExtension(movie, QString::fromLatin1(extension));
        const QFileInfo info(sidecar.toLocalFile());
        if (info.exists() || info.isSymLink())
            trash(sidecar);
    }
    return true;
}

}  // namespace MovieFiles
