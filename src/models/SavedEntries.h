#pragma once

#include "models/FileStamp.h"

#include <QList>
#include <QString>

#include <algorithm>
#include <numeric>

// Values a file kept from an earlier run, each with the path and stamp of the file it was read
// from: filled once, looked up by path until a reading takes them up, then dropped whole. One
// block in path order rather than a hash: dropped, it leaves no holes between the texts the
// library keeps (a hash's many parts would, and their pages stay with the process).
template <class T>
class SavedEntries {
public:
    void reserve(qsizetype count) { entries_.reserve(count); }
    // Adds an entry; sort() follows the last one.
    void append(const QString& path, const FileStamp& stamp, T value) {
        entries_.append(Entry{path, stamp, std::move(value), false});
    }
    // Puts the entries in path order; of two with the same path, the later one stays.
    void sort() {
        QList<qsizetype> order(entries_.size());
        std::iota(order.begin(), order.end(), 0);
        std::stable_sort(order.begin(), order.end(),
                         [this](qsizetype a, qsizetype b) { return entries_.at(a).path < entries_.at(b).path; });
        QList<Entry> sorted;
        sorted.reserve(entries_.size());
        for (const qsizetype i : std::as_const(order)) {
            if (!sorted.isEmpty() && sorted.constLast().path == entries_.at(i).path)
                sorted.last() = std::move(entries_[i]);
            else
                sorted.append(std::move(entries_[i]));
        }
        entries_ = std::move(sorted);
    }

    // The value kept for `path` when its file had `stamp`; null when there is none. When found,
    // `sharedPath` (if given) is set to the entry's path: a caller that keeps the path then holds
    // one copy of its text.
    const T* find(const QString& path, const FileStamp& stamp, QString* sharedPath = nullptr) const {
        const qsizetype i = indexOf(path, stamp);
        if (i < 0)
            return nullptr;
        if (sharedPath)
            *sharedPath = entries_.at(i).path;
        return &entries_.at(i).value;
    }
    // The same, marking the entry as taken up.
    const T* use(const QString& path, const FileStamp& stamp) {
        const qsizetype i = indexOf(path, stamp);
        if (i < 0)
            return nullptr;
        entries_[i].used = true;
        return &entries_.at(i).value;
    }
    bool contains(const QString& path) const { return indexOf(path) >= 0; }
    // Whether an entry was never used.
    bool anyUnused() const {
        return std::any_of(entries_.cbegin(), entries_.cend(), [](const Entry& entry) { return !entry.used; });
    }

    // Adds the entries of `other` whose paths are not here (what is here was read later).
    void merge(SavedEntries&& other) {
        if (entries_.isEmpty()) {
            entries_ = std::move(other.entries_);
            return;
        }
        for (Entry& entry : other.entries_) {
            if (!contains(entry.path))
                entries_.append(std::move(entry));
        }
        sort();
    }

    // Calls `visit(path, stamp, value)` for every entry.
    template <class Visit>
    void forEach(Visit visit) const {
        for (const Entry& entry : entries_)
            visit(entry.path, entry.stamp, entry.value);
    }
    qsizetype size() const { return entries_.size(); }

    // Whether the entries differ from what the file holds (their values were made again).
    bool hasChanged() const { return changed_; }
    void markChanged() { changed_ = true; }
    void markSaved() { changed_ = false; }

private:
    struct Entry {
        QString path;
        FileStamp stamp;
        T value;
        bool used = false;
    };
    qsizetype indexOf(const QString& path) const {
        const auto it = std::lower_bound(entries_.cbegin(), entries_.cend(), path,
                                         [](const Entry& entry, const QString& key) { return entry.path < key; });
        return it != entries_.cend() && it->path == path ? it - entries_.cbegin() : -1;
    }
    // The same, for an entry whose file had `stamp`.
    qsizetype indexOf(const QString& path, const FileStamp& stamp) const {
        const qsizetype i = indexOf(path);
        return i >= 0 && entries_.at(i).stamp == stamp ? i : -1;
    }
    QList<Entry> entries_;
    bool changed_ = false;
};
