#pragma once

#include "models/StampedCache.h"
#include "subtitles/SubtitleSRT.h"

#include <QString>
#include <optional>

// What one read of a movie file gave, valid while the file keeps its stamp.
struct MovieFacts {
    QString time;  // creation date as the library shows it
    double duration = 0;
};

// What the sidecar of a movie gave; absent when it could not be opened.
using SidecarFacts = std::optional<SubtitleSRT::Info>;

// The library's measured facts kept across launches: one CBOR file in the program's cache
// folder, written atomically. Reading takes back only a file of this program's own format;
// anything else (damaged, foreign, from a later version) is ignored as if there were none.
namespace LibraryCacheFile {

// The file the application keeps, in the program's cache folder.
QString defaultPath();

// Adds the file's entries to the caches (restored: unused until a scan uses them). False when
// there is no such file or it was not one of ours; the caches are then left as they were.
bool read(const QString& path, StampedCache<MovieFacts>& movies, StampedCache<SidecarFacts>& sidecars);

// Replaces the file with the caches' entries; false with the reason in `error` on failure.
bool write(const QString& path, const StampedCache<MovieFacts>& movies, const StampedCache<SidecarFacts>& sidecars,
           QString* error = nullptr);

}  // namespace LibraryCacheFile
