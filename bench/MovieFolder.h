#pragma once

#include <QChar>
#include <QDir>
#include <QFile>
#include <QProcess>
#include <QString>
#include <QStringList>

// Fills `folder` with `count` copies of one tiny clip (one second of 32x32 video, each copy its
// own inode), "movie 00000.mp4" on, every other one with an SRT sidecar whose title is its number.
// The clip is made once with the ffmpeg command line beside the folder; files already there are
// kept. False when ffmpeg or a copy fails.
inline bool makeMovieFolder(const QString& folder, int count) {
    QDir().mkpath(folder);
    const QString clip = folder + QStringLiteral("/../clip.mp4");
    if (!QFile::exists(clip)) {
        QProcess ffmpeg;
        ffmpeg.start(QStringLiteral("ffmpeg"),
                     {QStringLiteral("-hide_banner"), QStringLiteral("-loglevel"), QStringLiteral("error"),
                      QStringLiteral("-y"), QStringLiteral("-f"), QStringLiteral("lavfi"), QStringLiteral("-i"),
                      QStringLiteral("testsrc=size=32x32:rate=5:duration=1"), QStringLiteral("-c:v"),
                      QStringLiteral("libx264"), QStringLiteral("-preset"), QStringLiteral("ultrafast"),
                      QStringLiteral("-pix_fmt"), QStringLiteral("yuv420p"), clip});
        if (!ffmpeg.waitForFinished(120000) || ffmpeg.exitCode() != 0)
            return false;
    }
    for (int i = 0; i < count; ++i) {
        const QString name = folder + QStringLiteral("/movie %1.mp4").arg(i, 5, 10, QLatin1Char('0'));
        if (!QFile::exists(name) && !QFile::copy(clip, name))
            return false;
        if (i % 2 == 0) {
            QFile srt(folder + QStringLiteral("/movie %1.srt").arg(i, 5, 10, QLatin1Char('0')));
            if (!srt.exists() && srt.open(QIODevice::WriteOnly))
                srt.write("1\r\n00:00:00,000 --> 00:00:01,000\r\nStart: Title " + QByteArray::number(i) + "\r\n\r\n");
        }
    }
    return true;
}
