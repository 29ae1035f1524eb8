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

bool makeClipWithTracks(const QString& path, const QString& subtitleText) {
    const QString srt = path + QStringLiteral(".own.srt");
    if (!writeFile(srt, QStringLiteral("1\n00:00:00,000 --> 00:00:10,000\n%1\n\n").arg(subtitleText).toUtf8()))
        return false;
    // Video, two tones, then the subtitle file; the paths are arguments of their own.
    const QStringList inputs = QStringLiteral(
                                   "-hide_banner -loglevel error -y"
                                   " -f lavfi -i testsrc=size=480x270:rate=25:duration=4"
                                   " -f lavfi -i sine=frequency=440:duration=4"
                                   " -f lavfi -i sine=frequency=880:duration=4 -i")
                                   .split(QLatin1Char(' '));
    const QStringList output = QStringLiteral(
                                   "-map 0 -map 1 -map 2 -map 3"
                                   " -c:v libx264 -preset ultrafast -pix_fmt yuv420p -c:a aac"
                                   " -c:s srt -disposition:s:0 default"
                                   " -metadata:s:a:0 language=eng -metadata:s:a:1 language=fra"
                                   " -metadata:s:a:1 title=Commentary -metadata:s:s:0 language=deu"
                                   " -f matroska")
                                   .split(QLatin1Char(' '));
    const QStringList args = inputs + QStringList{srt} + output + QStringList{path};
    QProcess ffmpeg;
    ffmpeg.start(QStringLiteral("ffmpeg"), args);
    const bool made =
        ffmpeg.waitForFinished(120000) && ffmpeg.exitStatus() == QProcess::NormalExit && ffmpeg.exitCode() == 0;
    QFile::remove(srt);
    return made;
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
