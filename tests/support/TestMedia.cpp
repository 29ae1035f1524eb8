#include "TestMedia.h"
#include "TestEnv.h"

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QThread>

bool makeClip(const QString& path, const ClipShape& shape) {
    const QString ext =
        QFileInfo(path).suffix().toLower() == QStringLiteral("mov") ? QStringLiteral("mov") : QStringLiteral("mp4");
    const QString key = QStringLiteral("%1-%2-%3-%4-%5.%6")
                            .arg(shape.seconds)
                            .arg(shape.size)
                            .arg(shape.audio)
                            .arg(shape.video)
                            .arg(shape.rate)
                            .arg(ext);
#ifdef REELNOOK_TEST_CLIP_CACHE
    const QString cacheDir = QStringLiteral(REELNOOK_TEST_CLIP_CACHE);
#else
    const QString cacheDir = testHome() + "/clip-cache";
#endif
    const QString cached = cacheDir + QStringLiteral("/") + key;
    if (!QFileInfo::exists(cached)) {
        QDir().mkpath(cacheDir);
        QStringList args{QStringLiteral("-hide_banner"), QStringLiteral("-loglevel"), QStringLiteral("error"),
                         QStringLiteral("-y")};
        if (shape.video)
            args << QStringLiteral("-f") << QStringLiteral("lavfi") << QStringLiteral("-i")
                 << QStringLiteral("testsrc=size=%1:rate=%2:duration=%3")
                        .arg(shape.size)
                        .arg(shape.rate)
                        .arg(shape.seconds);
        if (shape.audio)
            args << QStringLiteral("-f") << QStringLiteral("lavfi") << QStringLiteral("-i")
                 << QStringLiteral("sine=frequency=440:duration=%1").arg(shape.seconds);
        if (shape.video)
            args << QStringLiteral("-c:v") << QStringLiteral("libx264") << QStringLiteral("-preset")
                 << QStringLiteral("ultrafast") << QStringLiteral("-pix_fmt") << QStringLiteral("yuv420p");
        if (shape.audio)
            args << QStringLiteral("-c:a") << QStringLiteral("aac");
        // Made under a private name and renamed, so parallel test processes never see half a clip.
        const QString partial = testHome() + QStringLiteral("/partial-") + key;
        args << QStringLiteral("-f") << (ext == QStringLiteral("mov") ? QStringLiteral("mov") : QStringLiteral("mp4"))
             << partial;
        QProcess ffmpeg;
        ffmpeg.start(QStringLiteral("ffmpeg"), args);
        if (!ffmpeg.waitForFinished(120000) || ffmpeg.exitCode() != 0) {
            QFile::remove(partial);
            return false;
        }
        if (!QFile::rename(partial, cached) && !QFileInfo::exists(cached))
            return false;
    }
    QDir().mkpath(QFileInfo(path).absolutePath());
    QFile::remove(path);
    return QFile::copy(cached, path);
}

bool writeFile(const QString& path, const QByteArray& bytes) {
    QDir().mkpath(QFileInfo(path).absolutePath());
    QFile f(path);
    if (!f.open(QIODevice::WriteOnly | QIODevice::Truncate))
        return false;
    return f.write(bytes) == bytes.size();
}

bool waitUntil(const std::function<bool()>& done, int timeoutMs) {
    QDeadlineTimer deadline(timeoutMs);
    while (!done()) {
        if (deadline.hasExpired())
            return false;
        QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
        QThread::msleep(2);
    }
    return true;
}
