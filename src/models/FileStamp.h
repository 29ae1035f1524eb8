#pragma once

#include <QDateTime>
#include <QList>
#include <QString>
#include <QStringList>
#include <optional>

// What one statx call says about a file (symlinks followed): the fields that change whenever
// its content or its place does, and its birth time when the file system keeps one.
struct FileStamp {
    quint64 device = 0;
    quint64 inode = 0;
    qint64 size = 0;
    qint64 modifiedNs = 0;         // mtime, nanoseconds since the epoch
    qint64 changedNs = 0;          // ctime: unlike mtime, no tool can set it back
    std::optional<qint64> bornMs;  // birth time, milliseconds since the epoch

    // Absent when the file cannot be reached (missing, dangling link, no permission).
    static std::optional<FileStamp> of(const QString& path);
    // of(prefix + name) for each of `names`, in their order. They are stat'ed one after another
    // while the answers come fast (a local disk answers in microseconds, less than handing a stat
    // to a thread costs); once they come slowly, as from a network share, which answers many
    // requests at once, the rest are asked side by side, and `slow` (when given) is set. Each
    // path is made only for its stat: a long folder's paths are not all held at once.
    static QList<std::optional<FileStamp>> ofAll(const QStringList& names, const QString& prefix = {},
                                                 bool* slow = nullptr);

    std::optional<QDateTime> birthTime() const;
    // The creation date as the library shows it: the birth time in local time,
    // "yyyy-MM-dd HH:mm:ss", or undatedText() where the file system keeps none.
    QString creationText() const;
    static const QString& undatedText();
    // True when the file changed so shortly before `instant` that a later change within the
    // same timestamp tick could go unseen: what was read then must be read again.
    bool isRacyAt(qint64 instantNs) const;

    // Equal stamps: the file's content is taken to be unchanged. The birth time is left out.
    friend bool operator==(const FileStamp& a, const FileStamp& b) {
        return a.device == b.device && a.inode == b.inode && a.size == b.size && a.modifiedNs == b.modifiedNs &&
               a.changedNs == b.changedNs;
    }
};

// Wall-clock now in nanoseconds since the epoch, the scale of FileStamp's times.
qint64 fileClockNowNs();
