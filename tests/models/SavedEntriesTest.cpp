// Entries a file kept, looked up by path once sorted: a binary search is only as right as the
// order it searches.
#include "models/SavedEntries.h"

#include <gtest/gtest.h>

namespace {

FileStamp stampOf(qint64 size) {
    FileStamp stamp;
    stamp.inode = 7;
    stamp.size = size;
    return stamp;
}

}  // namespace

TEST(SavedEntries, FindsEachPathByItsStampAndKeepsTheLaterOfTwo) {
    SavedEntries<int> entries;
    // Not in order, a path twice (the later stays), and paths that are prefixes of others.
    const struct {
        const char* path;
        qint64 size;
        int value;
    } added[] = {
        {"/m/b.mp4", 2, 20}, {"/m/a.mp4", 1, 10}, {"/m/a.mp4 2", 3, 30},
        {"/m/b.mp4", 4, 40}, {"/m/", 5, 50},      {"/m/Z.mp4", 6, 60},
    };
    for (const auto& entry : added)
        entries.append(QString::fromUtf8(entry.path), stampOf(entry.size), entry.value);
    entries.sort();
    EXPECT_EQ(entries.size(), 5);

    const struct {
        const char* path;
        qint64 size;
        int expected;  // 0: none
    } lookups[] = {
        {"/m/a.mp4", 1, 10}, {"/m/a.mp4 2", 3, 30}, {"/m/b.mp4", 4, 40}, {"/m/b.mp4", 2, 0},
        {"/m/", 5, 50},      {"/m/Z.mp4", 6, 60},   {"/m/c.mp4", 1, 0},  {"/m/a.mp", 1, 0},
    };
    for (const auto& lookup : lookups) {
        SCOPED_TRACE(lookup.path);
        const int* value = entries.find(QString::fromUtf8(lookup.path), stampOf(lookup.size));
        EXPECT_EQ(value ? *value : 0, lookup.expected);
    }

    // Entries used are told from those that never were; a merge adds only paths not there.
    EXPECT_TRUE(entries.anyUnused());
    SavedEntries<int> older;
    older.append(QStringLiteral("/m/a.mp4"), stampOf(1), 11);
    older.append(QStringLiteral("/m/0.mp4"), stampOf(1), 1);
    older.sort();
    entries.merge(std::move(older));
    EXPECT_EQ(entries.size(), 6);
    EXPECT_EQ(*entries.find(QStringLiteral("/m/a.mp4"), stampOf(1)), 10);
    EXPECT_EQ(*entries.find(QStringLiteral("/m/0.mp4"), stampOf(1)), 1);
    entries.forEach([&](const QString& path, const FileStamp& stamp, int) { entries.use(path, stamp); });
    EXPECT_FALSE(entries.anyUnused());
}
