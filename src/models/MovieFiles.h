#pragma once

#include <QDateTime>
#include <QStringList>
#include <QUrl>
#include <functional>
#include <optional>

// Small operations on movie files shared by the library and the sidebar. Reads turn every
// failure into a neutral result; the trash reports whether it worked.
namespace MovieFiles {

// What makes a file a movie: its name's extension is "mp4" or "mov" in any case, since cameras
// and phones write ".MP4" and ".MOV". A leading dot begins a hidden name, not an extension.
bool isMovieName(QStringView fileName);

// The file's birth time (statx, symlinks followed); absent when the file cannot be reached
// or its file system keeps no birth time.
std::optional<QDateTime> createDate(const QUrl& url);

// Measures the movie's length on a worker thread and hands the seconds (0 when it cannot be
// measured) to `completion` there. Returns at once.
void getDuration(const QUrl& url, std::function<void(double seconds)> completion);

// Moves the file to the user's freedesktop trash. False when it did not go (no such file, no
// permission, no trash to be had), with the reason in `error` when given.
bool trash(const QUrl& url, QString* error = nullptr);

// Trashes a movie and, when no other movie of its folder (any of `movieExtensions`, in any
// case) has the same base name, its sidecars beside it ("srt", "vtt"). False, with the reason, when the
// movie did not go (its sidecars then stay too); a sidecar that does not go is logged.
bool trashMovie(const QUrl& movie, const QStringList& movieExtensions, QString* error = nullptr);

}  // namespace MovieFiles
