// The library of a folder behind a slow FUSE passthrough, as a network share or a NAS gives it:
// every request waits, and the kernel tells nothing of changes made to the share elsewhere.
#include "models/FileStamp.h"
#include "models/LibraryScanner.h"
#include "models/MoviesViewModel.h"

#include "SlowFolder.h"
#include "TestMedia.h"
#include "core/AppState.h"

#include <gtest/gtest.h>
#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include <functional>
#include <string>

namespace {

// The file names of the rows, in order, with a space between.
std::string files(const MoviesViewModel& model) {
    QStringList names;
    for (const VideoItem& item : model.items())
        names.append(item.url().fileName());
    return names.join(u' ').toStdString();
}

// One refresh of `model`, run to its end; false when it did not end in time.
bool refresh(MoviesViewModel& model) {
    bool ended = false;
    const auto connection = QObject::connect(&model, &MoviesViewModel::refreshed, [&] { ended = true; });
    model.refresh();
    const bool done = waitUntil([&] { return ended; }, 60000);
    QObject::disconnect(connection);
    return done;
}

class SlowFolderLibrary : public ::testing::Test {
protected:
    void SetUp() override {
        if (const QString reason = SlowFolder::unavailableReason(); !reason.isEmpty())
            GTEST_SKIP() << "no slow folder here: " << reason.toStdString();
        ASSERT_TRUE(dir.isValid());
        source = dir.filePath(QStringLiteral("share"));
        ASSERT_TRUE(QDir().mkpath(source));
    }
    void TearDown() override { global().setMoviesFolderOverride({}); }

    QString inSource(const QString& name) const { return source + QStringLiteral("/") + name; }

    QTemporaryDir dir;
    QString source;
};

}  // namespace

// The movies come through the passthrough newest first, with their sidecar titles and lengths;
// a movie added to or deleted from the share beside the mount shows within a refresh or two,
// though no watch can see it there.
TEST_F(SlowFolderLibrary, ListsTheShareAndSeesChangesMadeBesideTheMount) {
    // Made oldest first, so that newest first and name order agree: whether the mount tells
    // birth times or not (then every movie is undated, in name order), the order is a, b, c.
    for (const char* name : {"c.mp4", "b.mp4", "a.mp4"})
        ASSERT_TRUE(makeClip(inSource(QString::fromLatin1(name)), {.seconds = 1.0, .audio = false}));
    ASSERT_TRUE(
        writeFile(inSource(QStringLiteral("b.srt")), "1\r\n00:00:00,000 --> 00:00:01,000\r\nStart: Bee\r\n\r\n"));

    SlowFolder share(source, dir.filePath(QStringLiteral("mount")), 1.0);
    if (!share.isMounted())
        GTEST_SKIP() << "the slow folder could not be mounted: " << share.error().toStdString();
    ASSERT_TRUE(share.error().isEmpty()) << share.error().toStdString();
    global().setMoviesFolderOverride(share.mountPoint());
    {
        MoviesViewModel model;
        ASSERT_TRUE(refresh(model));
        ASSERT_EQ(files(model), "a.mp4 b.mp4 c.mp4");
        EXPECT_EQ(model.items()[1].text, QStringLiteral("Bee"));
        for (const VideoItem& item : model.items()) {
            EXPECT_TRUE(item.url().toLocalFile().startsWith(share.mountPoint())) << item.url().toString().toStdString();
            EXPECT_NEAR(item.duration, 1.0, 0.1) << item.url().fileName().toStdString();
        }
        const SlowFolder::Counts counts = share.counts();
        EXPECT_GT(counts[SlowFolderCounts::readdir], 0u) << counts.toString().toStdString();
        EXPECT_GT(counts[SlowFolderCounts::read], 0u) << counts.toString().toStdString();

        const struct {
            const char* change;
            std::function<bool()> make;
            std::string shown;
        } changes[] = {
            {"added", [&] { return QFile::copy(inSource(QStringLiteral("a.mp4")), inSource(QStringLiteral("0.mp4"))); },
             "0.mp4 a.mp4 b.mp4 c.mp4"},
            {"deleted", [&] { return QFile::remove(inSource(QStringLiteral("c.mp4"))); }, "0.mp4 a.mp4 b.mp4"},
        };
        for (const auto& change : changes) {
            SCOPED_TRACE(change.change);
            ASSERT_TRUE(change.make());
            for (int refreshes = 0; refreshes < 2 && files(model) != change.shown; ++refreshes)
                ASSERT_TRUE(refresh(model));
            EXPECT_EQ(files(model), change.shown);
        }
    }
    EXPECT_TRUE(share.unmount());
    EXPECT_FALSE(SlowFolder::isMountPoint(share.mountPoint()));
}

// A share answers slowly, so past the first round its stats are asked side by side: each answer
// must still land on its own name. Movie i has i bytes and every third one a sidecar titled
// "Title i"; names that do not exist are mixed in.
TEST_F(SlowFolderLibrary, StatsAShareSideBySideAndGivesEachMovieItsOwnStampAndSidecar) {
    constexpr int count = 100;
    const auto movieName = [](int i) { return QStringLiteral("m%1").arg(i, 3, 10, QLatin1Char('0')); };
    for (int i = 0; i < count; ++i) {
        ASSERT_TRUE(writeFile(inSource(movieName(i) + QStringLiteral(".mp4")), QByteArray(i, 'x')));
        const QString title = QStringLiteral("1\r\n00:00:00,000 --> 00:00:01,000\r\nStart: Title %1\r\n\r\n").arg(i);
        if (i % 3 == 0) {
            ASSERT_TRUE(writeFile(inSource(movieName(i) + QStringLiteral(".srt")), title.toUtf8()));
        }
    }
    const auto expectedSize = [&](const QString& path) -> qint64 {
        const QString name = path.mid(path.lastIndexOf(u'/') + 1);
        return name.startsWith(u'm') ? name.mid(1, 3).toInt() : -1;
    };
    {
        // Each mount starts with nothing cached by the kernel: every stat reaches the share.
        SlowFolder share(source, dir.filePath(QStringLiteral("mount")), 1.0);
        if (!share.isMounted())
            GTEST_SKIP() << "the slow folder could not be mounted: " << share.error().toStdString();
        QStringList names;
        for (int i = 0; i < count; ++i) {
            names.append(movieName(i) + QStringLiteral(".mp4"));
            if (i % 7 == 0)
                names.append(QStringLiteral("gone%1.mp4").arg(i));
        }
        bool slow = false;
        const auto stamps = FileStamp::ofAll(names, share.mountPoint() + u'/', &slow);
        EXPECT_TRUE(slow) << "every stat waits 1 ms here";
        ASSERT_EQ(stamps.size(), names.size());
        for (qsizetype i = 0; i < names.size(); ++i) {
            SCOPED_TRACE(names.at(i).toStdString());
            const qint64 size = expectedSize(names.at(i));
            ASSERT_EQ(stamps.at(i).has_value(), size >= 0);
            if (stamps.at(i)) {
                EXPECT_EQ(stamps.at(i)->size, size);
            }
        }
        EXPECT_TRUE(share.unmount());
    }
    SlowFolder share(source, dir.filePath(QStringLiteral("mount")), 1.0);
    ASSERT_TRUE(share.isMounted()) << share.error().toStdString();
    LibraryScanner scanner;
    const auto movies = scanner.scanFolder(share.mountPoint());
    ASSERT_TRUE(movies.has_value());
    ASSERT_EQ(movies->size(), count);
    for (const ScannedMovie& movie : *movies) {
        SCOPED_TRACE(movie.path.toStdString());
        const qint64 i = expectedSize(movie.path);
        ASSERT_TRUE(movie.stamp.has_value());
        EXPECT_EQ(movie.stamp->size, i);
        EXPECT_EQ(movie.text, i % 3 == 0 ? QStringLiteral("Title %1").arg(i) : movieName(int(i)));
    }
    EXPECT_TRUE(share.unmount());
}
