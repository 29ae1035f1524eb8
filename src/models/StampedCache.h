#pragma once

#include "models/FileStamp.h"

#include <QHash>
#include <QSet>
#include <QString>

// Values read from files, each kept with the stamp its file had when it was read. A value is
// served again only while the file's stamp is unchanged; values read from a file that had
// just changed are not kept, since a further change could hide behind the same timestamp.
template <class T>
class StampedCache {
public:
    // The value read from `path` when it had `stamp`; null when there is none.
    const T* find(const QString& path, const FileStamp& stamp) const {
        const auto it = entries_.constFind(path);
        return it != entries_.cend() && it->stamp == stamp ? &it->value : nullptr;
    }

    // Keeps `value`, read from `path` with `stamp` taken no earlier than `readAtNs`.
    void insert(const QString& path, const FileStamp& stamp, qint64 readAtNs, T value) {
        if (stamp.isRacyAt(readAtNs))
            entries_.remove(path);
        else
            entries_.insert(path, Entry{stamp, std::move(value)});
    }

    // Forgets every path not in `paths`.
    void retain(const QSet<QString>& paths) {
        entries_.removeIf([&](const auto& entry) { return !paths.contains(entry.key()); });
    }

    qsizetype size() const { return entries_.size(); }

private:
    struct Entry {
        FileStamp stamp;
        T value;
    };
    QHash<QString, Entry> entries_;
};
