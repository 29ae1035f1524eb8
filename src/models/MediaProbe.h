#pragma once

#include <QList>
#include <QString>
#include <optional>

// What libavformat says about a media file, reading only its headers. Safe to call from any
// thread; FFmpeg's own logging is silenced.
namespace MediaProbe {

enum class MediaType { video, audio, subtitle, data, other };

struct Track {
    int index = 0;  // the stream's index in the file
    MediaType type = MediaType::other;
};

// The file's duration in seconds; 0 on any failure.
double duration(const QString& path);

// The file's streams in the file's order; absent when the file cannot be opened or read.
std::optional<QList<Track>> tracks(const QString& path);

// Ends every probe under way, and makes every later one fail at once: the program quits, and
// a probe stuck on a slow file must not hold it.
void interruptAll();
// interruptAll() was called: what probes give from now on is no measurement.
bool isInterrupted();

// For measurements of a slow disk: probes of files named `fileName` wait `milliseconds`
// before they read, as a stalled mount would; interruptAll() ends the wait like real I/O.
// An empty name turns it off.
void setSlowFileForTesting(const QString& fileName, int milliseconds);

}  // namespace MediaProbe
