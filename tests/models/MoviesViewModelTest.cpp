#include "models/MoviesViewModel.h"

#include "TestMedia.h"
#include "core/AppState.h"
#include "core/Events.h"
#include "models/FileStamp.h"
#include "models/FolderWatch.h"
#include "models/MediaProbe.h"
#include "models/StampedCache.h"

#include <gtest/gtest.h>
#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>
#include <QThread>

#include <fcntl.h>
#include <sys/stat.h>

#include <cmath>
#include <functional>
#include <memory>
#include <ostream>

namespace {

// The fields of a record that a scan determines; ids are fresh on every scan.
struct Row {
    QString file;
    QString time;
    QString text;
    QString BID;
    double duration = 0;
    friend bool operator==(const Row&, const Row&) = default;
    friend std::ostream& operator<<(std::ostream& out, const Row& r) {
        return out << "{" << r.file.toStdString() << ", " << r.time.toStdString() << ", " << r.text.toStdString()
                   << ", " << r.BID.toStdString() << ", " << r.duration << "}";
    }
};

QList<Row> rows(const QList<VideoItem>& items) {
    QList<Row> result;
    for (const auto& item : items)
        result.append({QFileInfo(item.url().toLocalFile()).fileName(), item.time, item.text, item.BID, item.duration});
    return result;
}

QStringList files(const QList<VideoItem>& items) {
    QStringList names;
    for (const auto& row : rows(items))
        names.append(row.file);
    return names;
}

QByteArray srt(const QByteArray& lines) { return "1\r\n00:00:00,000 --> 00:00:01,000\r\n" + lines + "\r\n\r\n"; }

const QString fallbackBID = QStringLiteral("com.apple.QuickTimePlayerX");

// Waits until the wall clock has just entered a new second.
void waitForNextSecond() {
    const qint64 now = QDateTime::currentMSecsSinceEpoch();
    QThread::msleep(static_cast<unsigned long>(1000 - now % 1000 + 50));
}

// Files read within this time of their last change are read again on the next refresh; the
// tests wait it out where they want the remembered results to be used.
void waitUntilSettled() { QThread::msleep(2100); }

class Library : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(dir.isValid());
        folder = dir.path() + QStringLiteral("/movies");
        ASSERT_TRUE(QDir().mkpath(folder));
        global().setMoviesFolderOverride(folder);
        QObject::connect(
            &notify(), &ApplicationEvents::videoUpdated, &observer,
            [this] {
                ++updates;
                itemsWhenPosted = model.items();
            },
            Qt::DirectConnection);
        QObject::connect(&model, &QAbstractItemModel::modelReset, &observer, [this] { ++rowChanges; });
        QObject::connect(&model, &QAbstractItemModel::layoutChanged, &observer, [this] { ++rowChanges; });
        QObject::connect(&model, &QAbstractItemModel::rowsInserted, &observer, [this] { ++rowChanges; });
        QObject::connect(&model, &QAbstractItemModel::rowsRemoved, &observer, [this] { ++rowChanges; });
        QObject::connect(&model, &MoviesViewModel::lengthMeasured, &observer, [this](const QUrl& url, double seconds) {
            measured.append({url, seconds});
        });
    }
    void TearDown() override { global().setMoviesFolderOverride({}); }

    QString path(const QString& name) const { return folder + QStringLiteral("/") + name; }

    // One refresh of `m`, run to its end; the number of "videoUpdated" posted.
    int refresh(MoviesViewModel& m) {
        bool ended = false;
        const auto connection = QObject::connect(&m, &MoviesViewModel::refreshed, [&] { ended = true; });
        const int before = updates;
        m.refresh();
        EXPECT_TRUE(waitUntil([&] { return ended; }, 30000));
        QObject::disconnect(connection);
        return updates - before;
    }
    int refresh() { return refresh(model); }

    QTemporaryDir dir;
    QString folder;
    MoviesViewModel model;
    QObject observer;
    int updates = 0;
    int rowChanges = 0;  // resets, layout changes, row insertions and removals
    QList<VideoItem> itemsWhenPosted;
    QList<std::pair<QUrl, double>> measured;  // lengthMeasured, in order
};

}  // namespace

TEST_F(Library, KeepsFilesWhoseExtensionIsMp4OrMovInAnyCase) {
    for (const QString& name : {QStringLiteral("clip.mp4"), QStringLiteral("clip.mov"), QStringLiteral("CLIP.MP4"),
                                QStringLiteral("clip.Mov"), QStringLiteral("mp4"), QStringLiteral(".mp4"),
                                QStringLiteral("a.tar.mov"), QStringLiteral("clip.mp4.txt")})
        ASSERT_TRUE(makeClip(path(name), {.seconds = 1.0}));
    ASSERT_TRUE(writeFile(path(QStringLiteral("a.tar.srt")), srt("Start: Tarred")));
    ASSERT_TRUE(writeFile(path(QStringLiteral("a.srt")), srt("Start: Wrong sidecar")));

    EXPECT_EQ(refresh(), 1);
    QStringList listed = files(model.items());
    listed.sort();
    EXPECT_EQ(listed, QStringList({QStringLiteral("CLIP.MP4"), QStringLiteral("a.tar.mov"), QStringLiteral("clip.Mov"),
                                   QStringLiteral("clip.mov"), QStringLiteral("clip.mp4")}));
    for (const auto& row : rows(model.items())) {
        EXPECT_EQ(row.text, row.file == QStringLiteral("a.tar.mov") ? QStringLiteral("Tarred")
                                                                    : QFileInfo(row.file).completeBaseName());
        EXPECT_NEAR(row.duration, 1.0, 0.1);
    }
}

TEST_F(Library, TitleAndBundleIdentifierComeFromTheSidecarFieldByField) {
    struct Case {
        QString movie;
        QByteArray sidecar;  // empty: no sidecar
        QString text;
        QString BID;
    };
    const QList<Case> cases{
        {QStringLiteral("plain.mp4"), {}, QStringLiteral("plain"), fallbackBID},
        {QStringLiteral("both.mp4"), srt("BID: org.example.Editor\r\nStart: Both"), QStringLiteral("Both"),
         QStringLiteral("org.example.Editor")},
        {QStringLiteral("title.mp4"), srt("Start: Only a title"), QStringLiteral("Only a title"), fallbackBID},
        {QStringLiteral("bid.mp4"), srt("BID: org.example.Viewer"), QStringLiteral("bid"),
         QStringLiteral("org.example.Viewer")},
        {QStringLiteral("garbage.mp4"), QByteArray("\x00\xff\xfe\x89PNG\r\n\x1a\n\x00\x00\xc3(Start\x00: x\x80", 26),
         QStringLiteral("garbage"), fallbackBID},
        {QStringLiteral("empty title.mp4"), srt("Start:\r\nmore"), QStringLiteral(""), fallbackBID},
        {QStringLiteral("Ünï 'q' \"d\"\nline.mov"), srt("Start: Ünïcödé"), QStringLiteral("Ünïcödé"), fallbackBID},
    };
    for (const auto& c : cases) {
        ASSERT_TRUE(makeClip(path(c.movie), {.seconds = 1.0}));
        if (!c.sidecar.isEmpty()) {
            ASSERT_TRUE(writeFile(path(QFileInfo(c.movie).completeBaseName() + QStringLiteral(".srt")), c.sidecar));
        }
    }
    ASSERT_EQ(refresh(), 1);
    ASSERT_EQ(model.items().size(), cases.size());
    for (const auto& c : cases) {
        SCOPED_TRACE(c.movie.toStdString());
        const auto found = std::find_if(model.items().cbegin(), model.items().cend(), [&](const VideoItem& item) {
            return item.url() == QUrl::fromLocalFile(path(c.movie));
        });
        ASSERT_NE(found, model.items().cend());
        EXPECT_EQ(found->text, c.text);
        EXPECT_EQ(found->BID, c.BID);
        EXPECT_EQ(found->color, ItemColor::white);
        EXPECT_NEAR(found->duration, 1.0, 0.1);
    }
}

TEST_F(Library, ListsFilesThatAreNoMoviesWithNeutralValuesAndNeverHangs) {
    QTemporaryDir outside;
    ASSERT_TRUE(makeClip(outside.filePath(QStringLiteral("real.mp4")), {.seconds = 2.0}));
    ASSERT_TRUE(QFile::link(outside.filePath(QStringLiteral("real.mp4")), path(QStringLiteral("link.mov"))));
    ASSERT_TRUE(QFile::link(outside.filePath(QStringLiteral("gone.mp4")), path(QStringLiteral("dangling.mp4"))));
    ASSERT_TRUE(writeFile(path(QStringLiteral("text.mp4")), "this is not a movie\n"));
    ASSERT_TRUE(writeFile(path(QStringLiteral("empty.mov")), ""));
    QFile whole(outside.filePath(QStringLiteral("real.mp4")));
    ASSERT_TRUE(whole.open(QIODevice::ReadOnly));
    ASSERT_TRUE(writeFile(path(QStringLiteral("truncated.mp4")), whole.read(whole.size() / 2)));
    ASSERT_TRUE(QDir(folder).mkdir(QStringLiteral("folder.mp4")));
    ASSERT_EQ(mkfifo(QFile::encodeName(path(QStringLiteral("pipe.mp4"))).constData(), 0600), 0);
    // Sidecars that are no regular files count as none.
    ASSERT_EQ(mkfifo(QFile::encodeName(path(QStringLiteral("text.srt"))).constData(), 0600), 0);
    ASSERT_TRUE(QFile::link(QStringLiteral("/dev/zero"), path(QStringLiteral("empty.srt"))));
    ASSERT_TRUE(QDir(folder).mkdir(QStringLiteral("truncated.srt")));

    ASSERT_EQ(refresh(), 1);
    QStringList listed = files(model.items());
    listed.sort();
    EXPECT_EQ(listed, QStringList({QStringLiteral("dangling.mp4"), QStringLiteral("empty.mov"),
                                   QStringLiteral("folder.mp4"), QStringLiteral("link.mov"), QStringLiteral("pipe.mp4"),
                                   QStringLiteral("text.mp4"), QStringLiteral("truncated.mp4")}));
    for (const auto& row : rows(model.items())) {
        SCOPED_TRACE(row.file.toStdString());
        if (row.file == QStringLiteral("link.mov"))
            EXPECT_NEAR(row.duration, 2.0, 0.1);
        else
            EXPECT_EQ(row.duration, 0.0);
        EXPECT_EQ(row.text, QFileInfo(row.file).completeBaseName());
    }
    // The dangling link has no date and comes last.
    EXPECT_EQ(rows(model.items()).last(), (Row{QStringLiteral("dangling.mp4"), QStringLiteral("0000-00-00 00:00:00"),
                                               QStringLiteral("dangling"), fallbackBID, 0}));
}

TEST_F(Library, OrdersNewestFirstKeepingListingOrderForEqualDatesAndUndatedLast) {
    ASSERT_TRUE(QFile::link(path(QStringLiteral("nowhere.mp4")), path(QStringLiteral("0undated.mp4"))));
    ASSERT_TRUE(makeClip(path(QStringLiteral("older.mp4")), {.seconds = 1.0}));
    waitForNextSecond();
    ASSERT_TRUE(makeClip(path(QStringLiteral("b.mp4")), {.seconds = 1.0}));
    ASSERT_TRUE(makeClip(path(QStringLiteral("a.mov")), {.seconds = 1.0}));

    ASSERT_EQ(refresh(), 1);
    EXPECT_EQ(files(model.items()), QStringList({QStringLiteral("a.mov"), QStringLiteral("b.mp4"),
                                                 QStringLiteral("older.mp4"), QStringLiteral("0undated.mp4")}));
    for (const auto& item : model.items()) {
        const QDateTime born = QFileInfo(item.url().toLocalFile()).birthTime();
        EXPECT_EQ(item.time, born.isValid() ? born.toString(QStringLiteral("yyyy-MM-dd HH:mm:ss"))
                                            : QStringLiteral("0000-00-00 00:00:00"));
    }
    EXPECT_EQ(model.items()[0].time, model.items()[1].time);
    EXPECT_GT(model.items()[1].time, model.items()[2].time);
}

TEST_F(Library, PublishesOnlyWhenRecordsChangeAndPostsOnceTheListIsInPlace) {
    EXPECT_EQ(refresh(), 0);  // empty folder, empty library
    EXPECT_EQ(rowChanges, 0);

    ASSERT_TRUE(makeClip(path(QStringLiteral("a.mp4")), {.seconds = 1.0}));
    model.refresh();
    // The folder is read on a worker: the list stays as it is until the refresh comes back,
    // and "videoUpdated" goes out once the new list is in place. The length follows in place.
    EXPECT_TRUE(model.isRefreshing());
    EXPECT_TRUE(model.items().isEmpty());
    ASSERT_TRUE(waitUntil([&] { return updates == 1; }));
    EXPECT_EQ(rowChanges, 1);
    ASSERT_EQ(itemsWhenPosted.size(), 1);
    ASSERT_EQ(model.items().size(), 1);
    const QUrl a = QUrl::fromLocalFile(path(QStringLiteral("a.mp4")));
    ASSERT_TRUE(waitUntil([&] { return !model.isRefreshing(); }));
    EXPECT_NEAR(model.items()[0].duration, 1.0, 0.1);
    ASSERT_EQ(measured.size(), 1);
    EXPECT_EQ(measured[0].first, a);
    EXPECT_EQ(measured[0].second, model.items()[0].duration);

    EXPECT_EQ(refresh(), 0);
    EXPECT_EQ(measured.size(), 1);

    // Another movie written into the same file (its creation date stays): the same record with
    // a new length, which arrives in place.
    QTemporaryDir spare;
    ASSERT_TRUE(makeClip(spare.filePath(QStringLiteral("b.mp4")), {.seconds = 2.0}));
    QFile longer(spare.filePath(QStringLiteral("b.mp4")));
    ASSERT_TRUE(longer.open(QIODevice::ReadOnly));
    ASSERT_TRUE(writeFile(path(QStringLiteral("a.mp4")), longer.readAll()));
    EXPECT_EQ(refresh(), 0);
    EXPECT_EQ(rowChanges, 1);
    EXPECT_NEAR(model.items()[0].duration, 2.0, 0.1);
    ASSERT_EQ(measured.size(), 2);
    EXPECT_NEAR(measured[1].second, 2.0, 0.1);

    ASSERT_TRUE(writeFile(path(QStringLiteral("a.srt")), srt("Start: Renamed")));
    EXPECT_EQ(refresh(), 1);
    ASSERT_EQ(model.items().size(), 1);
    EXPECT_EQ(model.items()[0].text, QStringLiteral("Renamed"));
    EXPECT_NEAR(model.items()[0].duration, 2.0, 0.1);

    // A folder that cannot be listed changes nothing.
    const QList<VideoItem> before = model.items();
    ASSERT_TRUE(QDir(folder).removeRecursively());
    EXPECT_EQ(refresh(), 0);
    ASSERT_TRUE(writeFile(folder, "a file where the folder was"));
    EXPECT_EQ(refresh(), 0);
    EXPECT_EQ(model.items(), before);
    EXPECT_EQ(rowChanges, 1);  // the new title changed its row in place

    // The folder back, but empty: the empty list is published once.
    ASSERT_TRUE(QFile::remove(folder));
    ASSERT_TRUE(QDir().mkpath(folder));
    EXPECT_EQ(refresh(), 1);
    EXPECT_TRUE(model.items().isEmpty());
    EXPECT_EQ(refresh(), 0);
}

TEST_F(Library, RemovesOneRowInPlaceAndServesTheRecordsByRole) {
    ASSERT_TRUE(makeClip(path(QStringLiteral("one.mp4")), {.seconds = 1.0}));
    ASSERT_TRUE(makeClip(path(QStringLiteral("two.mov")), {.seconds = 1.0}));
    ASSERT_TRUE(writeFile(path(QStringLiteral("two.srt")), srt("BID: org.example.Two\r\nStart: Second")));
    ASSERT_EQ(refresh(), 1);
    ASSERT_EQ(model.rowCount(), 2);

    const int row = model.items()[0].text == QStringLiteral("Second") ? 0 : 1;
    const QModelIndex index = model.index(row);
    const VideoItem item = model.items()[row];
    EXPECT_EQ(index.data(Qt::DisplayRole).toString(), QStringLiteral("Second"));
    EXPECT_EQ(index.data(MoviesViewModel::TextRole).toString(), QStringLiteral("Second"));
    EXPECT_EQ(index.data(MoviesViewModel::TimeRole).toString(), item.time);
    EXPECT_EQ(index.data(MoviesViewModel::BIDRole).toString(), QStringLiteral("org.example.Two"));
    EXPECT_EQ(index.data(MoviesViewModel::ColorRole).value<ItemColor>(), ItemColor::white);
    EXPECT_EQ(index.data(MoviesViewModel::URLRole).toUrl(), QUrl::fromLocalFile(path(QStringLiteral("two.mov"))));
    EXPECT_EQ(index.data(MoviesViewModel::DurationRole).toDouble(), item.duration);
    EXPECT_EQ(index.data(MoviesViewModel::ItemRole).value<VideoItem>(), item);
    EXPECT_FALSE(model.index(5).data().isValid());

    int removed = 0;
    QObject::connect(&model, &QAbstractItemModel::rowsAboutToBeRemoved, &observer,
                     [&](const QModelIndex&, int first, int last) {
                         EXPECT_EQ(first, row);
                         EXPECT_EQ(last, row);
                         EXPECT_EQ(model.items().size(), 2);  // told before the change
                         ++removed;
                     });
    model.removeItem(-1);
    model.removeItem(2);
    model.removeItem(row);
    EXPECT_EQ(removed, 1);
    ASSERT_EQ(model.items().size(), 1);
    EXPECT_EQ(model.items()[0].url(), QUrl::fromLocalFile(path(QStringLiteral("one.mp4"))));

    // The library was changed in place; the next scan finds two titles again.
    EXPECT_EQ(refresh(), 1);
    EXPECT_EQ(model.items().size(), 2);
}

TEST_F(Library, LoadItemBuildsTheRecordOfAnyFile) {
    QTemporaryDir outside;
    ASSERT_TRUE(makeClip(outside.filePath(QStringLiteral("x.y.mov")), {.seconds = 2.0}));
    ASSERT_TRUE(writeFile(outside.filePath(QStringLiteral("x.y.srt")), srt("BID: org.example.X")));
    const QUrl url = QUrl::fromLocalFile(outside.filePath(QStringLiteral("x.y.mov")));
    const VideoItem item = model.loadItem(url);
    EXPECT_EQ(item.text, QStringLiteral("x.y"));
    EXPECT_EQ(item.BID, QStringLiteral("org.example.X"));
    EXPECT_EQ(item.time, QFileInfo(outside.filePath(QStringLiteral("x.y.mov")))
                             .birthTime()
                             .toString(QStringLiteral("yyyy-MM-dd HH:mm:ss")));
    // Nothing is probed on the caller's thread: the length comes afterwards.
    EXPECT_EQ(item.duration, 0.0);
    ASSERT_TRUE(waitUntil([&] { return !measured.isEmpty(); }));
    EXPECT_EQ(measured[0].first, url);
    EXPECT_NEAR(measured[0].second, 2.0, 0.1);

    // A movie of the library is known from its refresh.
    ASSERT_TRUE(makeClip(path(QStringLiteral("known.mp4")), {.seconds = 1.0}));
    ASSERT_EQ(refresh(), 1);
    measured.clear();
    EXPECT_NEAR(model.loadItem(QUrl::fromLocalFile(path(QStringLiteral("known.mp4")))).duration, 1.0, 0.1);
    waitUntil([] { return false; }, 200);
    EXPECT_TRUE(measured.isEmpty());

    const VideoItem missing = model.loadItem(QUrl::fromLocalFile(outside.filePath(QStringLiteral("missing.mp4"))));
    EXPECT_EQ(rows({missing}), QList<Row>({{QStringLiteral("missing.mp4"), QStringLiteral("0000-00-00 00:00:00"),
                                            QStringLiteral("missing"), fallbackBID, 0}}));
    EXPECT_NE(missing.id, item.id);
}

TEST_F(Library, AMovieStillBeingCopiedGetsItsLengthOnceComplete) {
    QTemporaryDir outside;
    ASSERT_TRUE(makeClip(outside.filePath(QStringLiteral("whole.mp4")), {.seconds = 2.0}));
    QFile whole(outside.filePath(QStringLiteral("whole.mp4")));
    ASSERT_TRUE(whole.open(QIODevice::ReadOnly));
    const QByteArray bytes = whole.readAll();
    ASSERT_TRUE(writeFile(path(QStringLiteral("copy.mp4")), bytes.left(bytes.size() / 4)));
    ASSERT_EQ(refresh(), 1);
    EXPECT_EQ(model.items()[0].duration, 0.0);

    ASSERT_TRUE(writeFile(path(QStringLiteral("copy.mp4")), bytes));
    refresh();
    EXPECT_NEAR(model.items()[0].duration, 2.0, 0.1);
    ASSERT_FALSE(measured.isEmpty());
    EXPECT_NEAR(measured.last().second, 2.0, 0.1);
    EXPECT_EQ(refresh(), 0);
}

TEST_F(Library, ListsBeforeMeasuringAndMeasuresTheOpenMovieFirst) {
    // The newest movie's probe is held up as on a slow disk; the oldest is open.
    ASSERT_TRUE(makeClip(path(QStringLiteral("oldest.mp4")), {.seconds = 1.0}));
    ASSERT_TRUE(makeClip(path(QStringLiteral("middle.mp4")), {.seconds = 1.0}));
    waitForNextSecond();
    ASSERT_TRUE(makeClip(path(QStringLiteral("newest.mp4")), {.seconds = 2.0}));
    const QUrl oldest = QUrl::fromLocalFile(path(QStringLiteral("oldest.mp4")));
    Q_EMIT notify().videoSelected(VideoItem(oldest, {}, QStringLiteral("oldest"), {}, ItemColor::white, 0));
    MediaProbe::setSlowFileForTesting(QStringLiteral("newest.mp4"), 1000);
    const std::unique_ptr<void, void (*)(void*)> restore(this, [](void*) { MediaProbe::setSlowFileForTesting({}, 0); });

    refresh();
    // The list went out before any length was known.
    ASSERT_EQ(files(itemsWhenPosted).first(), QStringLiteral("newest.mp4"));
    for (const VideoItem& item : itemsWhenPosted)
        EXPECT_EQ(item.duration, 0.0);
    // The open movie came first, though it is listed last.
    ASSERT_EQ(measured.size(), 3);
    EXPECT_EQ(measured[0].first, oldest);
    for (const Row& row : rows(model.items()))
        EXPECT_NEAR(row.duration, row.file == QStringLiteral("newest.mp4") ? 2.0 : 1.0, 0.1) << row;
}

TEST_F(Library, RemembersTheLibraryAcrossLaunchesInItsCacheFile) {
    const QString cacheFile = dir.filePath(QStringLiteral("cache/library.cbor"));
    ASSERT_TRUE(QDir().mkpath(QFileInfo(cacheFile).path()));
    ASSERT_TRUE(makeClip(path(QStringLiteral("a.mp4")), {.seconds = 1.0}));
    ASSERT_TRUE(makeClip(path(QStringLiteral("b.mov")), {.seconds = 2.0}));
    ASSERT_TRUE(writeFile(path(QStringLiteral("b.srt")), srt("Start: Bee\r\nBID: org.example.B")));
    waitUntilSettled();

    // One launch of the program: a model that starts from the file and refreshes once.
    struct Launch {
        QList<VideoItem> first;  // the list as first published
        QList<VideoItem> last;   // the list once refreshed
        int measured = 0;        // lengths that had to be measured
    };
    const auto launch = [&] {
        MoviesViewModel next;
        next.setCacheFile(cacheFile);
        Launch result;
        QObject::connect(&next, &QAbstractItemModel::rowsInserted, &observer, [&] {
            if (result.first.isEmpty())
                result.first = next.items();
        });
        QObject::connect(&next, &MoviesViewModel::lengthMeasured, &observer, [&] { ++result.measured; });
        refresh(next);
        result.last = next.items();
        return result;
    };

    const Launch first = launch();
    EXPECT_EQ(first.measured, 2);
    ASSERT_TRUE(QFileInfo(cacheFile).isFile());
    const QList<Row> expected = rows(first.last);
    ASSERT_EQ(expected.size(), 2);
    for (const Row& row : expected)
        EXPECT_NEAR(row.duration, row.file == QStringLiteral("b.mov") ? 2.0 : 1.0, 0.1) << row;
    // The next launch shows the whole library at once and measures nothing.
    const Launch second = launch();
    EXPECT_EQ(rows(second.first), expected);
    EXPECT_EQ(second.measured, 0);

    // A movie changed since is measured again, alone.
    ASSERT_TRUE(makeClip(path(QStringLiteral("a.mp4")), {.seconds = 3.0}));
    waitUntilSettled();
    EXPECT_EQ(launch().measured, 1);
    EXPECT_EQ(launch().measured, 0);

    // A file that is not ours, or damaged, is ignored and replaced.
    QFile cache(cacheFile);
    ASSERT_TRUE(cache.open(QIODevice::ReadOnly));
    const QByteArray good = cache.readAll();
    cache.close();
    const QList<std::pair<const char*, QByteArray>> damaged = {
        {"empty", {}},
        {"garbage", "\xff\xfe not cbor at all"},
        {"truncated", good.left(good.size() / 2)},
        {"another format", QByteArray::fromHex("a166666f726d617463787878")},  // {"format": "xxx"}
        {"a folder", {}},
    };
    for (const auto& [name, bytes] : damaged) {
        SCOPED_TRACE(name);
        ASSERT_TRUE(QFile::remove(cacheFile) || QDir(cacheFile).removeRecursively());
        if (qstrcmp(name, "a folder") == 0)
            ASSERT_TRUE(QDir().mkpath(cacheFile));
        else
            ASSERT_TRUE(writeFile(cacheFile, bytes));
        const Launch again = launch();
        EXPECT_EQ(again.measured, 2);
        EXPECT_EQ(again.first.size(), 2);
        if (qstrcmp(name, "a folder") != 0)
            EXPECT_EQ(launch().measured, 0);  // rewritten whole
        else
            EXPECT_TRUE(QFileInfo(cacheFile).isDir());  // told, nothing else harmed
    }
}

// Each kind of change shows at the next refresh: through the folder's watch, and through the
// whole reading where the folder cannot be watched.
TEST_F(Library, EachChangeOfTheFolderShowsAtTheNextRefresh) {
    QTemporaryDir spare;
    ASSERT_TRUE(makeClip(spare.filePath(QStringLiteral("two.mp4")), {.seconds = 2.0}));
    QFile whole(spare.filePath(QStringLiteral("two.mp4")));
    ASSERT_TRUE(whole.open(QIODevice::ReadOnly));
    const QByteArray bytes = whole.readAll();
    for (const bool watching : {true, false}) {
        SCOPED_TRACE(watching ? "watched" : "not watched");
        FolderWatch::setFailingForTesting(!watching);
        ASSERT_TRUE(QDir(folder).removeRecursively() && QDir().mkpath(folder));
        ASSERT_TRUE(makeClip(path(QStringLiteral("old.mp4")), {.seconds = 1.0}));
        MoviesViewModel fresh;
        refresh(fresh);
        ASSERT_EQ(fresh.items().size(), 1);
        const auto find = [&](const QString& name) -> const VideoItem* {
            for (const VideoItem& item : fresh.items())
                if (item.url().fileName() == name)
                    return &item;
            return nullptr;
        };
        const struct {
            const char* change;
            std::function<bool()> make;
            std::function<bool()> shows;
        } steps[] = {
            {"created", [&] { return writeFile(path(QStringLiteral("new.mp4")), bytes.left(bytes.size() / 3)); },
             [&] { return find(QStringLiteral("new.mp4")) && find(QStringLiteral("new.mp4"))->duration == 0; }},
            {"grown", [&] { return writeFile(path(QStringLiteral("new.mp4")), bytes); },
             [&] {
                 return find(QStringLiteral("new.mp4")) &&
                        std::abs(find(QStringLiteral("new.mp4"))->duration - 2) < 0.1;
             }},
            {"renamed", [&] { return QFile::rename(path(QStringLiteral("new.mp4")), path(QStringLiteral("New.MOV"))); },
             [&] { return !find(QStringLiteral("new.mp4")) && find(QStringLiteral("New.MOV")); }},
            {"sidecar written", [&] { return writeFile(path(QStringLiteral("New.srt")), srt("Start: Titled")); },
             [&] {
                 return find(QStringLiteral("New.MOV")) &&
                        find(QStringLiteral("New.MOV"))->text == QStringLiteral("Titled");
             }},
            {"sidecar edited", [&] { return writeFile(path(QStringLiteral("New.srt")), srt("Start: Retitled")); },
             [&] {
                 return find(QStringLiteral("New.MOV")) &&
                        find(QStringLiteral("New.MOV"))->text == QStringLiteral("Retitled");
             }},
            {"deleted", [&] { return QFile::remove(path(QStringLiteral("old.mp4"))); },
             [&] { return !find(QStringLiteral("old.mp4")) && fresh.items().size() == 1; }},
        };
        for (const auto& step : steps) {
            SCOPED_TRACE(step.change);
            ASSERT_TRUE(step.make());
            refresh(fresh);
            EXPECT_TRUE(step.shows()) << rows(fresh.items()).size();
        }
    }
    FolderWatch::setFailingForTesting(false);
}

// A file time ahead of the clock is no recent change: what was read from such a file is kept.
TEST(FileStampTest, ATimeInTheFutureIsNoRecentChange) {
    QTemporaryDir dir;
    const QString file = dir.filePath(QStringLiteral("future.mp4"));
    ASSERT_TRUE(writeFile(file, "bytes"));
    const qint64 now = fileClockNowNs();
    const struct {
        qint64 modified;
        bool racy;
    } cases[] = {
        {now - 10'000'000'000, false},                 // long ago
        {now - 500'000'000, true},                     // just now
        {now + 500'000'000, true},                     // within a coarse clock's tick
        {now + 86400LL * 365 * 1'000'000'000, false},  // a year ahead
    };
    for (const auto& c : cases) {
        const timespec times[2] = {
            {0, UTIME_OMIT},
            {static_cast<time_t>(c.modified / 1000000000), static_cast<long>(c.modified % 1000000000)}};
        ASSERT_EQ(utimensat(AT_FDCWD, QFile::encodeName(file).constData(), times, 0), 0);
        auto stamp = FileStamp::of(file);
        ASSERT_TRUE(stamp);
        stamp->changedNs = now - 10'000'000'000;  // as the clock would have it some time later
        EXPECT_EQ(stamp->isRacyAt(fileClockNowNs()), c.racy) << c.modified - now;
        StampedCache<int> cache;
        cache.insert(file, *stamp, fileClockNowNs(), 1);
        EXPECT_EQ(cache.use(file, *stamp) != nullptr, !c.racy) << c.modified - now;
    }
}
