#pragma once

#include "models/SavedEntries.h"
#include "models/StampedCache.h"
#include "subtitles/SubtitleSRT.h"

#include <QString>
#include <functional>
#include <optional>

// What one read of a movie file gave, valid while the file keeps its stamp.
struct MovieFacts {
    QString time;  // creation date as the library shows it
    double duration = 0;
};

// What the sidecar of a movie gave; absent when it could not be opened.
using SidecarFacts = std::optional<SubtitleSRT::Info>;

// The movies folder as a scan left it: its stamp, which changes with any name added to it,
// removed from it or renamed in it, how many movies it held, and the path of the newest. While
// the folder keeps that stamp its newest movie is known before the folder is listed: creation
// dates do not change while the names stay.
struct FolderHead {
    QString folder;
    FileStamp stamp;
    qint64 movieCount = 0;
    QString newest;

    friend bool operator==(const FolderHead&, const FolderHead&) = default;
};

// The library's measured facts kept across launches: one CBOR file in the program's cache
// folder, written atomically. Reading takes back only a file of this program's own format;
// anything else (damaged, foreign, from a later version) is ignored as if there were none.
namespace LibraryCacheFile {

// The file the application keeps, in the program's cache folder.
QString defaultPath();

// Adds the file's entries to `movies` and `sidecars` (an entry of a path already there is left
// out) and gives its folder head, if it has one, in `head`. False when there is no such file or
// it was not one of ours; the entries and `head` are then left as they were.
bool read(const QString& path, SavedEntries<MovieFacts>& movies, SavedEntries<SidecarFacts>& sidecars,
          std::optional<FolderHead>* head = nullptr);

// The folder head alone, read from the start of the file without the entries after it: absent
// when the file has none or is not one of ours.
std::optional<FolderHead> readHead(const QString& path);

// Entries to write: their number, and a call that hands each, with the path of its file, to the
// visit it is given.
template <class Facts>
struct Entries {
    using Visit = std::function<void(const QString& path, const FileStamp& stamp, const Facts& facts)>;
    qsizetype count = 0;
    std::function<void(const Visit&)> forEach;
};

// Replaces the file with the entries, `head` first; false with the reason in `error` on failure.
bool write(const QString& path, const Entries<MovieFacts>& movies, const Entries<SidecarFacts>& sidecars,
           const std::optional<FolderHead>& head, QString* error = nullptr);

}  // namespace LibraryCacheFile
