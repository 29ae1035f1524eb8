#pragma once

#include <QByteArray>
#include <QString>

// Replaces the file at `path` with `bytes` in one step: a reader sees the whole old content
// or the whole new one, never a mix. The bytes go to a new temporary file beside it through
// a descriptor checked at every write, are synced to the disk, and the temporary file is then
// renamed over `path`. A symbolic link at `path` is replaced, never followed. False, with the
// old file untouched, no temporary file left and the system's reason in `error` when given,
// when any step fails (a full disk included).
bool writeAtomically(const QString& path, const QByteArray& bytes, QString* error = nullptr);

// The same for a file of the program's own cache: its folder is made, or kept, readable by
// this user only (mode 0700), and refused when it is a link or someone else's.
bool writePrivately(const QString& path, const QByteArray& bytes, QString* error = nullptr);

// `path` with `suffix` added to its file name, the name first cut at a character boundary as
// far as needed for the whole name to fit the 255 bytes a file name may take.
QString withFittingSuffix(const QString& path, const QString& suffix);

// The name of the temporary file `writeAtomically` uses for `fileName` before its random
// suffix: a dot, then the name cut at a character boundary so that the whole name with the
// suffix fits the 255 bytes a file name may take.
QByteArray temporaryNamePrefix(const QByteArray& fileName);
