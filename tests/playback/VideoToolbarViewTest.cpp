#include "PlaybackFixtures.h"

#include "core/AppState.h"
#include "core/Events.h"
#include "models/SubtitlesViewModel.h"
#include "playback/Player.h"
#include "playback/VideoSlider.h"
#include "playback/VideoToolbarView.h"

#include <QLabel>
#include <QMenu>
#include <QSettings>
#include <QSignalSpy>
#include <QSlider>
#include <QTest>
#include <QToolButton>
#include <algorithm>

namespace {

class VideoToolbarViewTest : public PlaybackTest {
protected:
    void SetUp() override {
        user().remove("subtitleStyle");
        user().remove("volume");
    }

    static void select(double duration) {
        Q_EMIT notify().videoSelected(VideoItem(QUrl::fromLocalFile(QStringLiteral("/movies/a.mp4")),
                                                QStringLiteral(""), QStringLiteral("a"), QStringLiteral(""),
                                                ItemColor::white, duration));
    }
    static void announce(Player* player) { Q_EMIT notify().videoLoaded(player); }
    static void cursor(double seconds) { Q_EMIT notify().videoCursorChanged(seconds); }

    // A player without picture or sound, with `seconds` of clip open.
    std::unique_ptr<Player> openPlayer(double seconds) {
        auto player = std::make_unique<Player>(Player::Options{false, false});
        QSignalSpy reported(player.get(), &Player::positionReported);
        player->replaceCurrentItem(getPlayerItem(
            QUrl::fromLocalFile(clip(QStringLiteral("bar-%1.mp4").arg(seconds), {.seconds = seconds})), seconds));
        EXPECT_TRUE(waitUntil([&] { return player->isLoaded() && !reported.isEmpty(); }, 10000));
        return player;
    }

    // Waits until `player` has settled after a seek.
    // The position once the seek under way has landed: reported, and no longer the player's
    // seek target, which the next step would start from.
    static double settledTime(Player& player) {
        QSignalSpy reported(&player, &Player::positionReported);
        waitUntil([&] { return !reported.isEmpty() && !player.seekTarget(); });
        return player.currentTime();
    }
};

TEST_F(VideoToolbarViewTest, SkipsFiveSecondsWithinTheMovie) {
    auto player = openPlayer(20);
    VideoToolbarView bar;
    select(20);
    announce(player.get());
    const struct {
        double playTime;
        bool forward;
        double target;
        double doubleValue;
    } cases[] = {
        {3.2, false, 0, 0},
        {12, false, 7, 35},
        {5, true, 10, 50},
        {18, true, 20, 100},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.playTime);
        cursor(c.playTime);
        bar.skipBy(c.forward ? VideoToolbarView::skipSeconds : -VideoToolbarView::skipSeconds);
        EXPECT_DOUBLE_EQ(bar.doubleValue(), c.doubleValue);
        EXPECT_DOUBLE_EQ(bar.playTime(), c.playTime);  // left to the next position report
        EXPECT_NEAR(settledTime(*player), c.target, 0.1);
    }
}

TEST_F(VideoToolbarViewTest, TheTimelineSeeksToItsShareOfTheMovie) {
    auto player = openPlayer(20);
    VideoToolbarView bar;
    select(20);
    announce(player.get());
    auto* timeline = bar.findChild<VideoSlider*>(QStringLiteral("timeline"));
    ASSERT_TRUE(timeline);
    timeline->onValueChanged(25);
    EXPECT_NEAR(settledTime(*player), 5.0, 0.05);
    EXPECT_EQ(bar.doubleValue(), 0);  // moved by the next report only

    cursor(5.0);
    EXPECT_DOUBLE_EQ(bar.doubleValue(), 25);
    EXPECT_EQ(timeline->value(), 25);
}

TEST_F(VideoToolbarViewTest, WithoutAWorkingPlayerTheControlsAreHarmless) {
    VideoToolbarView bar;
    select(20);
    cursor(10);
    EXPECT_EQ(bar.playIcon(), QStringLiteral("play.slash"));
    bar.skipBy(-VideoToolbarView::skipSeconds);
    bar.skipBy(VideoToolbarView::skipSeconds);
    bar.togglePlay();
    bar.findChild<VideoSlider*>(QStringLiteral("timeline"))->onValueChanged(50);
    EXPECT_DOUBLE_EQ(bar.doubleValue(), 50);

    // A player whose movie is missing.
    Player player(Player::Options{false, false});
    QSignalSpy finished(&player, &Player::loadFinished);
    player.replaceCurrentItem(getPlayerItem(QUrl::fromLocalFile(folder_.filePath(QStringLiteral("gone.mp4"))), 20));
    ASSERT_TRUE(waitUntil([&] { return !finished.isEmpty(); }, 10000));
    announce(&player);
    bar.togglePlay();
    bar.skipBy(VideoToolbarView::skipSeconds);
    EXPECT_EQ(player.rate(), 0);
    EXPECT_EQ(bar.playIcon(), QStringLiteral("play"));
}

TEST_F(VideoToolbarViewTest, AnAnnouncedPlayerIsPausedAndGetsTheVolume) {
    user().setValue("volume", 0.3);
    user().setValue("subtitleStyle", 1);
    VideoToolbarView bar;
    EXPECT_EQ(bar.subtitleStyle(), SubtitlePlacement::top);
    EXPECT_DOUBLE_EQ(bar.volumeValue(), 0.3);

    auto player = openPlayer(6);
    player->play();
    announce(player.get());
    EXPECT_EQ(player->rate(), 0);
    EXPECT_FLOAT_EQ(player->volume(), 0.3f);
    EXPECT_EQ(user().value("subtitleStyle").toInt(), 1);
    EXPECT_EQ(bar.playIcon(), QStringLiteral("play"));

    bar.togglePlay();
    EXPECT_EQ(bar.playIcon(), QStringLiteral("pause"));
    EXPECT_EQ(bar.findChild<QToolButton*>(QStringLiteral("playButton"))->property("symbol").toString(),
              QStringLiteral("pause"));
    bar.togglePlay();
    EXPECT_EQ(player->rate(), 0);

    // A player that goes away leaves the bar without one.
    player.reset();
    EXPECT_EQ(bar.playIcon(), QStringLiteral("play.slash"));
    bar.togglePlay();
}

TEST_F(VideoToolbarViewTest, ANullPlayerAnnouncementChangesNothing) {
    VideoToolbarView bar;
    select(100);
    cursor(40);
    announce(nullptr);
    EXPECT_DOUBLE_EQ(bar.duration(), 100);
    EXPECT_DOUBLE_EQ(bar.playTime(), 40);
    EXPECT_DOUBLE_EQ(bar.doubleValue(), 40);
    EXPECT_EQ(bar.player(), nullptr);
    EXPECT_EQ(bar.playIcon(), QStringLiteral("play.slash"));
}

TEST_F(VideoToolbarViewTest, TimeTextsAndTheirWidths) {
    VideoToolbarView bar;
    auto* elapsed = bar.findChild<QLabel*>(QStringLiteral("elapsedTime"));
    auto* total = bar.findChild<QLabel*>(QStringLiteral("totalTime"));
    select(5400);
    EXPECT_EQ(total->text(), QStringLiteral("01:30:00"));
    EXPECT_EQ(total->minimumWidth(), 60);
    const struct {
        double seconds;
        QString text;
        int width;
    } cases[] = {{0, QStringLiteral("00:00"), 40},
                 {61.5, QStringLiteral("01:02"), 40},
                 {3599.4, QStringLiteral("59:59"), 40},
                 {3600, QStringLiteral("01:00:00"), 60}};
    for (const auto& c : cases) {
        cursor(c.seconds);
        EXPECT_EQ(elapsed->text(), c.text) << c.seconds;
        EXPECT_EQ(elapsed->minimumWidth(), c.width) << c.seconds;
    }

    // A movie without a length keeps the timeline at 0.
    select(0);
    cursor(12);
    EXPECT_EQ(bar.doubleValue(), 0);
    EXPECT_EQ(total->minimumWidth(), 40);
}

TEST(VolumeIcon, Thresholds) {
    const struct {
        double volume;
        QString icon;
    } cases[] = {{0, QStringLiteral("speaker.slash")},    {0.05, QStringLiteral("speaker.slash")},
                 {0.06, QStringLiteral("speaker")},       {0.1, QStringLiteral("speaker")},
                 {0.4, QStringLiteral("speaker.wave.1")}, {0.41, QStringLiteral("speaker.wave.2")},
                 {0.7, QStringLiteral("speaker.wave.2")}, {0.71, QStringLiteral("speaker.wave.3")},
                 {1.0, QStringLiteral("speaker.wave.3")}};
    for (const auto& c : cases)
        EXPECT_EQ(VideoToolbarView::volumeIcon(c.volume), c.icon) << c.volume;
}

TEST_F(VideoToolbarViewTest, SubtitleChoiceAndVolumeSurviveARestart) {
    {
        // A first run: full volume, subtitles at the bottom.
        VideoToolbarView bar;
        EXPECT_EQ(bar.subtitleStyle(), SubtitlePlacement::bottom);
        EXPECT_EQ(bar.subtitleIcon(), QStringLiteral("text.below.photo"));
        EXPECT_EQ(bar.volumeValue(), 1.0);
        EXPECT_EQ(bar.volumeIcon(), QStringLiteral("speaker.wave.3"));
        auto* menu = bar.findChild<QMenu*>(QStringLiteral("subtitleMenu"));
        ASSERT_TRUE(menu);
        QStringList labels;
        for (QAction* action : menu->actions())
            labels << action->text();
        EXPECT_EQ(labels, (QStringList{QStringLiteral("Subtitle None"), QStringLiteral("Subtitle Top"),
                                       QStringLiteral("Subtitle Bottom")}));
        menu->actions()[1]->trigger();  // before any movie: stored for the first one
        EXPECT_EQ(user().value("subtitleStyle").toInt(), 1);

        bar.setShowVolume(true);
        auto* volume = bar.findChild<QSlider*>(QStringLiteral("volumeSlider"));
        ASSERT_TRUE(volume);
        EXPECT_EQ(volume->value(), 100);
        volume->setSliderDown(true);
        volume->setValue(60);
        volume->setSliderDown(false);
        EXPECT_FALSE(bar.showVolume());
    }
    VideoToolbarView again;
    EXPECT_EQ(again.subtitleStyle(), SubtitlePlacement::top);
    EXPECT_EQ(again.subtitleIcon(), QStringLiteral("text.below.photo"));
    EXPECT_DOUBLE_EQ(again.volumeValue(), 0.6);
    EXPECT_EQ(again.volumeIcon(), QStringLiteral("speaker.wave.2"));
}

TEST_F(VideoToolbarViewTest, PlayerVolumeFollowsTheSliderWhenADragStartsAndEnds) {
    auto player = openPlayer(6);
    VideoToolbarView bar;
    announce(player.get());
    EXPECT_FLOAT_EQ(player->volume(), 1.0f);  // nothing stored yet: full volume
    bar.setShowVolume(true);
    auto* volume = bar.findChild<QSlider*>(QStringLiteral("volumeSlider"));
    volume->setValue(20);  // not a drag: a whole edit
    EXPECT_FLOAT_EQ(player->volume(), 0.2f);
    EXPECT_TRUE(bar.showVolume());

    volume->setSliderDown(true);
    volume->setValue(50);
    EXPECT_FLOAT_EQ(player->volume(), 0.2f);
    EXPECT_EQ(bar.volumeIcon(), QStringLiteral("speaker.wave.2"));
    volume->setValue(90);
    volume->setSliderDown(false);
    EXPECT_FLOAT_EQ(player->volume(), 0.9f);
    EXPECT_DOUBLE_EQ(user().value("volume").toDouble(), 0.9);
}

TEST_F(VideoToolbarViewTest, TheVolumePopupClosesByItselfAfterThreeSecondsUnlessHeld) {
    QWidget window;
    auto* bar = new VideoToolbarView(&window);
    window.resize(800, 200);
    window.show();
    auto* button = bar->findChild<QToolButton*>(QStringLiteral("volumeButton"));
    auto* popup = window.findChild<QFrame*>(QStringLiteral("volumePopup"));
    ASSERT_TRUE(button && popup);

    button->click();
    EXPECT_TRUE(bar->showVolume());
    EXPECT_TRUE(popup->isVisible());
    EXPECT_EQ(popup->parentWidget(), &window);
    button->click();  // the button also closes it
    EXPECT_FALSE(popup->isVisible());

    // Still open well before the three seconds (the timer may fire up to 5 % early), closed
    // by itself soon after.
    button->click();
    EXPECT_FALSE(waitUntil([&] { return !popup->isVisible(); }, 2000));
    EXPECT_TRUE(waitUntil([&] { return !popup->isVisible(); }, 3000));
    EXPECT_FALSE(bar->showVolume());
    EXPECT_FALSE(user().contains("volume"));

    // Never from under a held slider: a slow drag keeps it open; the release closes it.
    button->click();
    auto* slider = popup->findChild<QSlider*>(QStringLiteral("volumeSlider"));
    ASSERT_NE(slider, nullptr);
    slider->setSliderDown(true);
    EXPECT_FALSE(waitUntil([&] { return !popup->isVisible(); }, 4000));
    slider->setSliderDown(false);
    EXPECT_FALSE(popup->isVisible());
}

TEST_F(VideoToolbarViewTest, MarksAddedAndRemovedShowAtOnceAndANewMovieStartsWithout) {
    VideoToolbarView bar;
    select(300);
    EXPECT_TRUE(bar.cell().list.isEmpty());

    const SubtitleItem mark(30, 32, QStringLiteral("Mark: here"), ItemColor::gray, 300);
    bar.addTimelineMark(mark);
    EXPECT_EQ(bar.cell().list, (QList<VideoSliderCell::Mark>{{10, VideoSliderCell::gray}}));
    bar.addTimelineMark(SubtitleItem(150, 152, QStringLiteral("just text"), ItemColor::white, 300));
    EXPECT_EQ(bar.cell().list.size(), 1);
    bar.removeTimelineMark(mark);
    EXPECT_TRUE(bar.cell().list.isEmpty());

    // A new movie starts without marks until its own list is read.
    bar.addTimelineMark(mark);
    select(100);
    EXPECT_TRUE(bar.cell().list.isEmpty());
}

// The track entries of the subtitle menu as it opens: section titles, then each entry's text,
// "*" before the checked ones.
QStringList trackEntries(QMenu& menu) {
    menu.popup(QPoint(0, 0));
    QStringList entries;
    for (QAction* action : menu.actions())
        if (action->property("track").isValid())
            entries << (action->isChecked() ? QStringLiteral("*") : QString()) + action->text();
    menu.hide();
    return entries;
}

void choose(QMenu& menu, const QString& entry) {
    menu.popup(QPoint(0, 0));
    for (QAction* action : menu.actions())
        if (action->property("track").isValid() && action->text() == entry) {
            action->trigger();
            break;
        }
    menu.hide();
}

TEST_F(VideoToolbarViewTest, TheSubtitleMenuListsTheMoviesTracksAndAChoiceReachesMpv) {
    // The movie's own subtitle track shows beside the marks' subtitles, which stay, or without
    // marks in their place; mpv picks it by itself then, as the file's default.
    const struct {
        QString name;
        bool marks;
        QString choice;
        qint64 shownAfter;
        QStringList checkedAfter;
    } cases[] = {
        {QStringLiteral("marked.mkv"),
         true,
         QStringLiteral("deu"),
         1,
         {QStringLiteral("*Commentary (fra)"), QStringLiteral("*deu")}},
        {QStringLiteral("unmarked.mkv"),
         false,
         QStringLiteral("None"),
         0,
         {QStringLiteral("*Commentary (fra)"), QStringLiteral("*None")}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name.toStdString());
        const QString movie = folder_.filePath(c.name);
        ASSERT_TRUE(makeClipWithTracks(movie, QStringLiteral("OWN")));
        if (c.marks)
            writeSubtitles(movie);
        Player player(Player::Options{false, false});
        player.replaceCurrentItem(getPlayerItem(QUrl::fromLocalFile(movie), 4));
        ASSERT_TRUE(waitUntil([&] { return player.isLoaded(); }, 10000));
        VideoToolbarView bar;
        announce(&player);
        auto* menu = bar.findChild<QMenu*>(QStringLiteral("subtitleMenu"));
        ASSERT_TRUE(menu);
        EXPECT_EQ(
            trackEntries(*menu),
            (QStringList{QStringLiteral("Audio Track"), QStringLiteral("*eng"), QStringLiteral("Commentary (fra)"),
                         QStringLiteral("Movie Subtitles"), c.marks ? QStringLiteral("*None") : QStringLiteral("None"),
                         c.marks ? QStringLiteral("deu") : QStringLiteral("*deu")}));

        choose(*menu, QStringLiteral("Commentary (fra)"));
        choose(*menu, c.choice);
        EXPECT_EQ(player.audioTrack(), 2);
        EXPECT_EQ(player.movieSubtitleTrack(), c.shownAfter);
        const auto marksShown = [&] {
            const QList<Player::Track> subtitles = player.subtitleTracks();
            return std::any_of(subtitles.begin(), subtitles.end(),
                               [](const auto& t) { return t.external && t.selected; });
        };
        EXPECT_EQ(marksShown(), c.marks);
        QStringList checked = trackEntries(*menu).filter(QStringLiteral("*"));
        EXPECT_EQ(checked, c.checkedAfter);

        // Opened again where it is (a new length): the choices stay.
        player.setLength(3.9);
        ASSERT_TRUE(waitUntil([&] { return player.isLoaded(); }, 10000));
        EXPECT_EQ(player.audioTrack(), 2);
        EXPECT_EQ(player.movieSubtitleTrack(), c.shownAfter);
        EXPECT_EQ(marksShown(), c.marks);
    }

    // One audio track and no subtitles of the movie's own: nothing to choose, nothing listed.
    auto plain = openPlayer(6);
    VideoToolbarView bar;
    announce(plain.get());
    EXPECT_TRUE(trackEntries(*bar.findChild<QMenu*>(QStringLiteral("subtitleMenu"))).isEmpty());
}

}  // namespace
