#pragma once

#include <QDateTime>
#include <QStringList>
#include <QUrl>
#include <functional>
#include <optional>

// Small operations on movie files shared by the library and the sidebar. Each turns every
// failure into a neutral result: callers never handle errors.
namespace MovieFiles {

// The file's birth time (statx, symlinks followed); absent when the file cannot be reached
// or its file system keeps no birth time.
std::optional<QDateTime> createDate(const QUrl& url);

// Measures the movie's length on a worker thread and hands the seconds (0 when it cannot be
// measured) to `completion` there. Returns at once.
void getDuration(const QUrl& url, std::function<void(double seconds)> completion);

// Moves the file to the user's freedesktop trash; false when it did not go (logged, unless
// there was no such file).
bool trash(const QUrl& url);

// Trashes a movie and, when no other movie of its folder (any of `movieExtensions`) has the
// same base name, its sidecars beside it ("srt", "vtt"). False when something that exists
// did not go.
bool trashMovie(const QUrl& movie, const QStringList& movieExtensions);

}  // namespace MovieFiles
