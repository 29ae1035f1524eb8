#include "models/MovieFiles.h"

#include "models/FileStamp.h"
#include "models/MediaProbe.h"

#include <QDir>
#include <QFile>
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
    const QString path = url.toLocalFile();
    if (path.isEmpty()) {
        if (error)
            *error = QStringLiteral("no file name");
        return false;
    }
    // Qt makes the home trash inside the XDG data folder but not that folder itself, which a
    // fresh account may not have yet.
    QDir().mkpath(QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation));
    QFile file(path);
    if (file.moveToTrash())
        return true;
    if (error)
        *error = file.errorString();
    return false;
}

}  // namespace MovieFiles
