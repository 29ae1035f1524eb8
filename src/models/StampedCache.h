#pragma once

#include "models/FileStamp.h"

#include <QHash>
#include <QString>

// Values read from files, each kept with the stamp its file had when it was read. A value is
// served again only while the file's stamp is unchanged; values read from a file that had
// just changed are not kept, since a further change could hide behind the same timestamp.
// Entries not used since the last sweep() are dropped by it: the files of one scan are used,
// the rest are gone.
template <class T>
class StampedCache {
public:
    // The value read from `path` when it had `stamp`, marked as used; null when there is none.
    const T* use(const QString& path, const FileStamp& stamp) {
        const auto it = entries_.find(path);
        if (it == entries_.end() || !(it->stamp == stamp))
            return nullptr;
        it->sweep = sweep_;
        return &it->value;
    }

    // The same without marking it: for a copy read on another thread.
    const T* find(const QString& path, const FileStamp& stamp) const {
        const auto it = entries_.constFind(path);
        return it != entries_.cend() && it->stamp == stamp ? &it->value : nullptr;
    }

    // Keeps `value`, read from `path` with `stamp` taken no earlier than `readAtNs`.
    void insert(const QString& path, const FileStamp& stamp, qint64 readAtNs, T value) {
        if (stamp.isRacyAt(readAtNs))
            entries_.remove(path);
        else
            entries_.insert(path, Entry{stamp, std::move(value), sweep_});
    }

    // Forgets every entry not used or inserted since the previous sweep.
    void sweep() {
        entries_.removeIf([this](const auto& entry) { return entry.value().sweep != sweep_; });
        ++sweep_;
    }

    qsizetype size() const { return entries_.size(); }

private:
    struct Entry {
        FileStamp stamp;
        T value;
        quint64 sweep = 0;
    };
    QHash<QString, Entry> entries_;
    quint64 sweep_ = 0;
};
