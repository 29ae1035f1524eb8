#include "PlaybackFixtures.h"

#include "core/AppState.h"
#include "playback/PlayerItem.h"

#include <sys/stat.h>
#include <QDir>
#include <QFile>
#include <cmath>
#include <functional>
#include <limits>

namespace {

using PlayerItemTest = PlaybackTest;

TEST_F(PlayerItemTest, TheMovieItsWebVttFileAndOneRangeOfTheMovieLength) {
    const QString movie = clip(QStringLiteral("Trip.final.mp4"));
    const QString vtt = writeSubtitles(movie);
    EXPECT_EQ(vtt, userCachePath() + QStringLiteral("/Trip.final.vtt"));

    const PlayerItem item = getPlayerItem(QUrl::fromLocalFile(movie), 5400.1234);
    EXPECT_EQ(item.url, QUrl::fromLocalFile(movie));
    EXPECT_EQ(item.subtitlePath, vtt);
    EXPECT_TRUE(item.hasSubtitles);
    EXPECT_EQ(item.range.start.value, 0);
    EXPECT_EQ(item.range.duration.value, 5400123);
    EXPECT_EQ(item.range.duration.timescale, 1000);
}

TEST_F(PlayerItemTest, OnlyARegularWebVttFileCounts) {
    const QString movie = clip(QStringLiteral("piped.mp4"));
    const QString vtt = userCachePath() + QStringLiteral("/piped.vtt");
    const struct {
        const char* name;
        std::function<bool()> make;
        bool counts;
    } cases[] = {
        {"none", [] { return true; }, false},
        {"a named pipe", [&] { return mkfifo(QFile::encodeName(vtt).constData(), 0600) == 0; }, false},
        {"a folder", [&] { return QDir().mkpath(vtt); }, false},
        {"a file", [&] { return writeFile(vtt, "WEBVTT\r\n"); }, true},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        QFile::remove(vtt);
        QDir(vtt).removeRecursively();
        ASSERT_TRUE(c.make());
        EXPECT_EQ(getPlayerItem(QUrl::fromLocalFile(movie), 1).hasSubtitles, c.counts);
    }
}

TEST_F(PlayerItemTest, SubtitleFileIsNamedAfterTheMovieInTheCacheFolder) {
    const struct {
        QString movie;
        QString vtt;
    } cases[] = {
        {QStringLiteral("/elsewhere/Film.final.mkv"), QStringLiteral("Film.final.vtt")},
        {QStringLiteral("/elsewhere/NoExtension"), QStringLiteral("NoExtension.vtt")},
        {QStringLiteral("/elsewhere/with space.MOV"), QStringLiteral("with space.vtt")},
    };
    for (const auto& c : cases)
        EXPECT_EQ(getPlayerItem(QUrl::fromLocalFile(c.movie), 1).subtitlePath,
                  userCachePath() + QStringLiteral("/") + c.vtt);
}

TEST(MediaTime, SecondsBecomeWholeMilliseconds) {
    const struct {
        double seconds;
        qint64 value;
    } cases[] = {
        {5400.1234, 5400123},
        {0.0005, 1},
        {0.0004, 0},
        {12.5, 12500},
        {-3.0, 0},
        {std::nan(""), 0},
        {std::numeric_limits<double>::infinity(), 0},
    };
    for (const auto& c : cases) {
        const MediaTime time = MediaTime::fromSeconds(c.seconds);
        EXPECT_EQ(time.value, c.value) << c.seconds;
        EXPECT_EQ(time.timescale, 1000);
    }
}

}  // namespace
