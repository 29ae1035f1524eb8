#include "PlaybackFixtures.h"

#include "playback/Player.h"

#include <QSignalSpy>

namespace {

// Players without picture or sound: everything but the rendering.
class PlayerTest : public PlaybackTest {
protected:
    Player::Options quiet{false, false};

    // A player with the item of `movie` of `duration` seconds, waited until it is open and
    // has reported its first position.
    std::unique_ptr<Player> openPlayer(const QString& movie, double duration) {
        auto player = std::make_unique<Player>(quiet);
        QSignalSpy loaded(player.get(), &Player::loadFinished);
        QSignalSpy reported(player.get(), &Player::positionReported);
        player->replaceCurrentItem(getPlayerItem(QUrl::fromLocalFile(movie), duration));
        EXPECT_TRUE(waitUntil([&] { return !loaded.isEmpty() && !reported.isEmpty(); }, 10000));
        EXPECT_TRUE(player->isLoaded());
        return player;
    }
};

TEST_F(PlayerTest, StartsPausedThenReportsAboutOncePerSecondWhilePlaying) {
    const QString movie = clip(QStringLiteral("play.mp4"), {.seconds = 6});
    auto player = openPlayer(movie, 6);
    EXPECT_EQ(player->rate(), 0);
    EXPECT_TRUE(player->error().isEmpty());

    QList<double> reports;
    QObject::connect(player.get(), &Player::positionReported, [&](double seconds) { reports << seconds; });
    player->play();
    EXPECT_EQ(player->rate(), 1.0);
    EXPECT_TRUE(player->isPlaying());
    waitUntil([] { return false; }, 3300);
    player->pause();
    EXPECT_EQ(player->rate(), 0);

    // The start, then one per whole second (1, 2, 3), then the stop: never a flood.
    ASSERT_GE(reports.size(), 4);
    EXPECT_LE(reports.size(), 6);
    for (int i = 1; i < reports.size(); ++i)
        EXPECT_GE(reports[i], reports[i - 1]);
    EXPECT_GT(reports.last(), 2.5);
    EXPECT_NEAR(player->currentTime(), reports.last(), 0.05);
}

TEST_F(PlayerTest, SeeksExactlyToTheMillisecondAndReportsTheJump) {
    auto player = openPlayer(clip(QStringLiteral("seek.mp4"), {.seconds = 4, .rate = 50}), 4);
    QList<double> reports;
    QObject::connect(player.get(), &Player::positionReported, [&](double seconds) { reports << seconds; });

    player->seek(1.234);
    ASSERT_TRUE(waitUntil([&] { return !reports.isEmpty(); }));
    // 50 frames per second: the shown frame is within one frame of the target.
    EXPECT_NEAR(reports.last(), 1.234, 0.021);
    EXPECT_NEAR(player->currentTime(), 1.234, 0.021);
    EXPECT_EQ(player->rate(), 0);  // a seek does not start playback
}

TEST_F(PlayerTest, StopsAtTheItemsEndKeepsTheLastFrameAndCanSeekBack) {
    // A 3-second clip whose item is cut at 1.5 s.
    auto player = openPlayer(clip(QStringLiteral("end.mp4"), {.seconds = 3}), 1.5);
    player->play();
    ASSERT_TRUE(waitUntil([&] { return player->rate() == 0; }, 6000));
    EXPECT_TRUE(player->isLoaded());
    EXPECT_NEAR(player->currentTime(), 1.5, 0.1);

    QSignalSpy reports(player.get(), &Player::positionReported);
    player->seek(0.5);
    ASSERT_TRUE(waitUntil([&] { return !reports.isEmpty(); }));
    EXPECT_NEAR(player->currentTime(), 0.5, 0.05);
    player->play();
    EXPECT_TRUE(player->isPlaying());
}

TEST_F(PlayerTest, ASeekBeforeTheItemIsOpenIsWhereItOpens) {
    Player player(quiet);
    QSignalSpy loaded(&player, &Player::loadFinished);
    player.replaceCurrentItem(getPlayerItem(QUrl::fromLocalFile(clip(QStringLiteral("early.mp4"), {.seconds = 4})), 4));
    player.seek(2.0);
    EXPECT_DOUBLE_EQ(player.currentTime(), 2.0);
    ASSERT_TRUE(waitUntil([&] { return !loaded.isEmpty(); }, 10000));
    ASSERT_TRUE(waitUntil([&] { return std::abs(player.currentTime() - 2.0) < 0.05; }));
}

TEST_F(PlayerTest, AMissingMovieFailsQuietlyAndLeavesEveryCallHarmless) {
    const QString missing = folder_.filePath(QStringLiteral("missing.mp4"));
    writeSubtitles(missing);
    Player player(quiet);
    QSignalSpy loaded(&player, &Player::loadFinished);
    player.replaceCurrentItem(getPlayerItem(QUrl::fromLocalFile(missing), 10));
    ASSERT_TRUE(waitUntil([&] { return !loaded.isEmpty(); }, 10000));
    EXPECT_FALSE(loaded.first().first().toBool());
    EXPECT_FALSE(player.error().isEmpty());

    player.play();
    player.seek(3.0);
    player.setVolume(0.5f);
    EXPECT_EQ(player.rate(), 0);
    EXPECT_EQ(player.currentTime(), 0);

    // The next item plays as usual.
    player.replaceCurrentItem(getPlayerItem(QUrl::fromLocalFile(clip(QStringLiteral("after.mp4"))), 3));
    ASSERT_TRUE(waitUntil([&] { return player.isLoaded(); }, 10000));
    EXPECT_TRUE(player.error().isEmpty());
}

TEST_F(PlayerTest, ReplacingTheItemWhilePlayingOpensTheNewOnePaused) {
    auto player = openPlayer(clip(QStringLiteral("first.mp4"), {.seconds = 4}), 4);
    player->play();
    ASSERT_TRUE(waitUntil([&] { return player->currentTime() > 0.3; }));
    QSignalSpy loaded(player.get(), &Player::loadFinished);
    player->pause();
    player->replaceCurrentItem(
        getPlayerItem(QUrl::fromLocalFile(clip(QStringLiteral("second.mp4"), {.seconds = 4})), 4));
    ASSERT_TRUE(waitUntil([&] { return !loaded.isEmpty(); }, 10000));
    EXPECT_TRUE(loaded.first().first().toBool());
    EXPECT_LT(player->currentTime(), 0.1);
    EXPECT_EQ(player->rate(), 0);
}

// Each case starts from the volume the one before left; only a change is announced.
TEST(PlayerVolume, StaysWithinZeroToOneAndAnnouncesChanges) {
    Player player(Player::Options{false, false});
    QSignalSpy announced(&player, &Player::volumeChanged);
    const struct {
        float in, out;
        bool changed;
    } cases[] = {{1.0f, 1.0f, false}, {0.25f, 0.25f, true},         {1.5f, 1.0f, true}, {2.0f, 1.0f, false},
                 {-0.1f, 0.0f, true}, {std::nanf(""), 0.0f, false}, {0.5f, 0.5f, true}};
    for (const auto& c : cases) {
        announced.clear();
        player.setVolume(c.in);
        EXPECT_EQ(player.volume(), c.out) << c.in;
        ASSERT_EQ(announced.size(), c.changed ? 1 : 0) << c.in;
        if (c.changed) {
            EXPECT_EQ(announced.first().first().toFloat(), c.out) << c.in;
        }
    }
}

}  // namespace
