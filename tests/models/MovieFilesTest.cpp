#include "models/MovieFiles.h"

#include "TestEnv.h"
#include "TestMedia.h"

#include <gtest/gtest.h>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QThread>

#include <latch>

namespace {

// Runs getDuration and waits for its completion; also tells on which thread it ran.
std::pair<double, QThread*> measure(const QString& path) {
    std::latch done(1);
    double seconds = -1;
    QThread* thread = nullptr;
    MovieFiles::getDuration(QUrl::fromLocalFile(path), [&](double s) {
        seconds = s;
        thread = QThread::currentThread();
        done.count_down();
    });
    done.wait();
    return {seconds, thread};
}

}  // namespace

TEST(MovieFiles, CreateDateIsTheBirthTimeOfReachableFilesOnly) {
    QTemporaryDir dir;
    const QString file = dir.filePath(QStringLiteral("clip.mp4"));
    ASSERT_TRUE(writeFile(file, "x"));
    const auto born = MovieFiles::createDate(QUrl::fromLocalFile(file));
    ASSERT_TRUE(born.has_value());
    EXPECT_LE(std::abs(born->secsTo(QDateTime::currentDateTime())), 5);
    EXPECT_EQ(*born, QFileInfo(file).birthTime());

    // A symlink stands for its target; a dangling one, a missing file and no URL have no date.
    ASSERT_TRUE(QFile::link(file, dir.filePath(QStringLiteral("link.mp4"))));
    EXPECT_EQ(MovieFiles::createDate(QUrl::fromLocalFile(dir.filePath(QStringLiteral("link.mp4")))), born);
    ASSERT_TRUE(QFile::link(dir.filePath(QStringLiteral("gone.mp4")), dir.filePath(QStringLiteral("dangling.mp4"))));
    EXPECT_FALSE(MovieFiles::createDate(QUrl::fromLocalFile(dir.filePath(QStringLiteral("dangling.mp4")))));
    EXPECT_FALSE(MovieFiles::createDate(QUrl::fromLocalFile(dir.filePath(QStringLiteral("gone.mp4")))));
    EXPECT_FALSE(MovieFiles::createDate(QUrl()));
}

TEST(MovieFiles, GetDurationMeasuresOnAWorkerThreadAndGivesZeroForNonMovies) {
    QTemporaryDir dir;
    ASSERT_TRUE(makeClip(dir.filePath(QStringLiteral("clip.mov")), {.seconds = 2.0}));
    ASSERT_TRUE(writeFile(dir.filePath(QStringLiteral("text.mp4")), "not a movie"));

    const auto [seconds, thread] = measure(dir.filePath(QStringLiteral("clip.mov")));
    EXPECT_NEAR(seconds, 2.0, 0.1);
    EXPECT_NE(thread, QThread::currentThread());
    EXPECT_EQ(measure(dir.filePath(QStringLiteral("text.mp4"))).first, 0.0);
    EXPECT_EQ(measure(dir.filePath(QStringLiteral("missing.mp4"))).first, 0.0);
}

TEST(MovieFiles, TrashMovesTheFileIntoTheUsersTrashAndIgnoresFailures) {
    // The test run's XDG_DATA_HOME lies on the same volume as the temporary folders.
    const QString trash =
        QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation) + QStringLiteral("/Trash");
    ASSERT_TRUE(trash.startsWith(testHome()));
    QTemporaryDir dir;
    const QString file = dir.filePath(QStringLiteral("old movie 'ü'.mp4"));
    ASSERT_TRUE(writeFile(file, "movie bytes"));

    MovieFiles::trash(QUrl::fromLocalFile(file));
    EXPECT_FALSE(QFileInfo::exists(file));
    QFile trashed(trash + QStringLiteral("/files/") + QFileInfo(file).fileName());
    ASSERT_TRUE(trashed.open(QIODevice::ReadOnly));
    EXPECT_EQ(trashed.readAll(), "movie bytes");
    EXPECT_TRUE(QFileInfo::exists(trash + QStringLiteral("/info/") + QFileInfo(file).fileName() +
                                  QStringLiteral(".trashinfo")));

    // A sidecar that was never written, and no URL at all: nothing happens.
    const auto before = QDir(trash + QStringLiteral("/files")).entryList(QDir::NoDotAndDotDot | QDir::AllEntries);
    MovieFiles::trash(QUrl::fromLocalFile(dir.filePath(QStringLiteral("old movie.srt"))));
    MovieFiles::trash(QUrl());
    EXPECT_EQ(QDir(trash + QStringLiteral("/files")).entryList(QDir::NoDotAndDotDot | QDir::AllEntries), before);
}

TEST(MovieFiles, TrashMovieTakesTheSidecarsOnlyWithTheLastMovieOfTheirName) {
    QTemporaryDir dir;
    // Cameras write upper-case extensions: "a.MP4" shares the sidecars as "a.mp4" would.
    for (const char* name : {"a.mov", "a.MP4", "a.srt", "a.vtt", "b.mp4", "b.srt"})
        ASSERT_TRUE(writeFile(dir.filePath(QString::fromLatin1(name)), name));
    const QStringList movies = {QStringLiteral("mp4"), QStringLiteral("mov")};
    EXPECT_TRUE(MovieFiles::trashMovie(QUrl::fromLocalFile(dir.filePath(QStringLiteral("a.mov"))), movies));
    EXPECT_FALSE(QFile::exists(dir.filePath(QStringLiteral("a.mov"))));
    EXPECT_TRUE(QFile::exists(dir.filePath(QStringLiteral("a.srt"))));  // "a.MP4" still uses it
    EXPECT_TRUE(QFile::exists(dir.filePath(QStringLiteral("a.vtt"))));
    EXPECT_TRUE(MovieFiles::trashMovie(QUrl::fromLocalFile(dir.filePath(QStringLiteral("a.MP4"))), movies));
    EXPECT_FALSE(QFile::exists(dir.filePath(QStringLiteral("a.srt"))));
    EXPECT_FALSE(QFile::exists(dir.filePath(QStringLiteral("a.vtt"))));
    EXPECT_TRUE(MovieFiles::trashMovie(QUrl::fromLocalFile(dir.filePath(QStringLiteral("b.mp4"))),
                                       movies));  // no "b.vtt": fine
    EXPECT_FALSE(QFile::exists(dir.filePath(QStringLiteral("b.srt"))));
    EXPECT_FALSE(MovieFiles::trash(QUrl::fromLocalFile(dir.filePath(QStringLiteral("missing.mp4")))));
}
