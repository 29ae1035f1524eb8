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

    // Keeps `value`, read from `path` with `stamp` taken no earlier than `readAtNs`.
    void insert(const QString& path, const FileStamp& stamp, qint64 readAtNs, T value) {
        if (stamp.isRacyAt(readAtNs)) {
            if (entries_.remove(path))
                changed_ = true;
            return;
        }
        entries_.insert(path, Entry{stamp, std::move(value), sweep_});
        changed_ = true;
    }

    // An entry saved before and taken up now, under a path of this cache's own: marked as used,
    // and no change to save.
    void takeUp(const QString& path, const FileStamp& stamp, T value) {
        entries_.insert(path, Entry{stamp, std::move(value), sweep_});
    }

    // Forgets every entry not used or inserted since the previous sweep.
    void sweep() {
        if (entries_.removeIf([this](const auto& entry) { return entry.value().sweep != sweep_; }) > 0)
            changed_ = true;
        ++sweep_;
    }

    // Whether an entry was added, replaced or dropped since the last markSaved().
    bool hasChanged() const { return changed_; }
    void markSaved() { changed_ = false; }

    // Calls `visit(path, stamp, value)` for every entry.
    template <class Visit>
    void forEach(Visit visit) const {
        for (auto it = entries_.cbegin(); it != entries_.cend(); ++it)
            visit(it.key(), it->stamp, it->value);
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
    bool changed_ = false;
};
