#include "PlaybackFixtures.h"

#include "core/AppState.h"
#include "playback/PlayerItem.h"

#include <cmath>
#include <limits>

using MediaProbe::MediaType;

namespace {

using PlayerItemTest = PlaybackTest;

QList<MediaType> typesOf(const PlayerItem& item) {
    QList<MediaType> types;
    for (const PlayerTrack& track : item.tracks)
        types << track.type;
    return types;
}

TEST_F(PlayerItemTest, MovieStreamsThenSubtitleStreamsAllCutToTheMovieLength) {
    const QString movie = clip("Trip.final.mp4");
    const QString vtt = writeSubtitles(movie);
    EXPECT_EQ(vtt, userCachePath() + "/Trip.final.vtt");

    const PlayerItem item = getPlayerItem(QUrl::fromLocalFile(movie), 5400.1234);

    EXPECT_EQ(typesOf(item), (QList<MediaType>{MediaType::video, MediaType::audio, MediaType::subtitle}));
    ASSERT_EQ(item.tracks.size(), 3);
    EXPECT_EQ(item.tracks[0].source, movie);
    EXPECT_EQ(item.tracks[1].source, movie);
    EXPECT_EQ(item.tracks[2].source, vtt);
    EXPECT_EQ(item.tracks[2].index, 0);
    for (const PlayerTrack& track : item.tracks) {
        EXPECT_EQ(track.range.start.value, 0);
        EXPECT_EQ(track.range.duration.value, 5400123);
        EXPECT_EQ(track.range.duration.timescale, 1000);
    }
    EXPECT_TRUE(item.hasSubtitleTracks());
}

TEST_F(PlayerItemTest, WhatCannotBeReadIsMissing) {
    struct Case {
        const char* name;
        bool movieExists;
        bool subtitlesExist;
        QList<MediaType> expected;
    };
    const Case cases[] = {
        {"no WebVTT file", true, false, {MediaType::video, MediaType::audio}},
        {"missing movie", false, true, {MediaType::subtitle}},
        {"neither", false, false, {}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const QString movie = folder_.filePath(QStringLiteral("case %1.mov").arg(c.name));
        if (c.movieExists)
            clip(QFileInfo(movie).fileName());
        if (c.subtitlesExist)
            writeSubtitles(movie);
        const PlayerItem item = getPlayerItem(QUrl::fromLocalFile(movie), 3.0);
        EXPECT_EQ(typesOf(item), c.expected);
        EXPECT_EQ(item.hasSubtitleTracks(), c.subtitlesExist);
    }
}

TEST_F(PlayerItemTest, SubtitleFileIsNamedAfterTheMovieInTheCacheFolder) {
    const struct {
        QString movie;
        QString vtt;
    } cases[] = {
        {"/elsewhere/Film.final.mkv", "Film.final.vtt"},
        {"/elsewhere/NoExtension", "NoExtension.vtt"},
        {"/elsewhere/with space.MOV", "with space.vtt"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(getPlayerItem(QUrl::fromLocalFile(c.movie), 1).subtitlePath, userCachePath() + "/" + c.vtt);
}

TEST(MediaTime, SecondsBecomeWholeMilliseconds) {
    const struct {
        double seconds;
        qint64 value;
    } cases[] = {
        {5400.1234, 5400123}, {0.0005, 1},  {0.0004, 0}, {12.5, 12500},
        {-3.0, 0},            {std::nan(""), 0}, {std::numeric_limits<double>::infinity(), 0},
    };
    for (const auto& c : cases) {
        const MediaTime time = MediaTime::fromSeconds(c.seconds);
        EXPECT_EQ(time.value, c.value) << c.seconds;
        EXPECT_EQ(time.timescale, 1000);
    }
}

}  // namespace
