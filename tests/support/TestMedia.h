#pragma once

#include <QString>
#include <functional>

// Makes a short clip with the ffmpeg CLI (testsrc video, sine audio) at `path`. Clips of the
// same shape are made once per test run and copied afterwards. Returns false when ffmpeg fails.
struct ClipShape {
    double seconds = 3.0;
    QString size = QStringLiteral("160x120");
    bool audio = true;
    bool video = true;
    int rate = 25;
};
bool makeClip(const QString& path, const ClipShape& shape = {});

// Makes a 4-s 480x270 Matroska movie at `path` with two audio tracks (English; French, titled
// "Commentary") and one subtitle track of its own (German, the default) that shows
// `subtitleText` throughout. Returns false when ffmpeg fails.
bool makeClipWithTracks(const QString& path, const QString& subtitleText);

// Writes `bytes` to `path`, creating missing folders. Returns false on failure.
bool writeFile(const QString& path, const QByteArray& bytes);

// Runs the Qt event loop until `done` holds or `timeoutMs` passes; returns `done()`.
bool waitUntil(const std::function<bool()>& done, int timeoutMs = 5000);
