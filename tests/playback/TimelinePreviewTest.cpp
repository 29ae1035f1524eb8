#include "PlaybackFixtures.h"

#include "core/Events.h"
#include "models/SubtitlesViewModel.h"
#include "playback/Player.h"
#include "playback/ThumbnailProvider.h"
#include "playback/TimelinePreview.h"
#include "playback/VideoSlider.h"
#include "playback/VideoToolbarView.h"

#include <QApplication>
#include <QCursor>
#include <QLabel>
#include <QScreen>
#include <QSignalSpy>
#include <QTest>
#include <QVBoxLayout>

namespace {

// The transport bar at the top of a window with room above it on the screen, the pointer
// moved over its timeline as a user moves it (the X server sends the motion and crossing
// events).
class TimelinePreviewTest : public PlaybackTest {
protected:
    void SetUp() override {
        host_ = std::make_unique<QWidget>();
        auto* layout = new QVBoxLayout(host_.get());
        bar_ = new VideoToolbarView(host_.get());
        elsewhere_ = new QWidget(host_.get());
        elsewhere_->setMinimumHeight(200);
        layout->addWidget(bar_);
        layout->addWidget(elsewhere_, 1);
        host_->move(400, 400);
        host_->resize(800, 300);
        host_->show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(host_.get()));
        slider_ = bar_->timeline();
        slider_->setFixedWidth(300);  // ticks 3 px apart, as the geometry below is worked out for
        preview_ = bar_->timelinePreview();
        ASSERT_TRUE(slider_ && preview_);
    }

    // Announces the movie at `path` as the library does, with the marks of `srt`.
    void select(const QString& path, double duration, const QByteArray& srt = {}) {
        const QString sidecar = path.left(path.lastIndexOf(QLatin1Char('.'))) + QStringLiteral(".srt");
        if (!srt.isEmpty())
            writeFile(sidecar, srt);
        SubtitlesViewModel::shared().load(QUrl::fromLocalFile(sidecar), duration);
        Q_EMIT notify().videoSelected(VideoItem(QUrl::fromLocalFile(path), QStringLiteral(""), QStringLiteral("a"),
                                                QStringLiteral(""), ItemColor::white, duration));
        bar_->setTimelineMarks(SubtitlesViewModel::shared().items());
        // The time labels widen for an hour or more: the timeline moves before the pointer does.
        QCoreApplication::sendPostedEvents(nullptr, QEvent::LayoutRequest);
    }

    QString movie() { return clip(QStringLiteral("hover.mp4"), {.seconds = 20, .size = QStringLiteral("320x240")}); }

    QPoint tickPoint(int tick) const { return slider_->tickCenter(tick).toPoint(); }

    // Leaves the timeline; the preview hides.
    bool leave() {
        QTest::mouseMove(elsewhere_, elsewhere_->rect().center());
        return waitUntil([&] { return !preview_->isVisible(); });
    }

    // The pointer at `at` on the timeline, once the preview shows the tick there.
    bool hoverAt(const QPoint& at) {
        if (QCursor::pos() == slider_->mapToGlobal(at) && !leave())
            return false;
        QTest::mouseMove(slider_, at);
        const int tick = preview_->tickAt(at.x());
        return waitUntil([&] { return preview_->isVisible() && preview_->tick() == tick; });
    }
    bool hover(int tick) { return hoverAt(tickPoint(tick)); }

    QLabel* label(const QString& name) const { return preview_->findChild<QLabel*>(name); }

    std::unique_ptr<QWidget> host_;
    VideoToolbarView* bar_ = nullptr;
    QWidget* elsewhere_ = nullptr;
    VideoSlider* slider_ = nullptr;
    TimelinePreview* preview_ = nullptr;
};

TEST_F(TimelinePreviewTest, ShowsTheTimeAtOnceAndThePictureOnceDecoded) {
    const QString path = movie();
    select(path, 20);
    EXPECT_EQ(preview_->provider().movie(), path);
    // What the time label said when each picture went up.
    QStringList timesAtPicture;
    QObject::connect(preview_, &TimelinePreview::pictureShown, preview_,
                     [&] { timesAtPicture << preview_->timeText(); });
    QWidget* focused = QApplication::focusWidget();

    const struct {
        int tick;
        QString time;
    } cases[] = {{25, QStringLiteral("00:05")}, {60, QStringLiteral("00:12")}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.tick);
        ASSERT_TRUE(hover(c.tick));
        EXPECT_EQ(preview_->timeText(), c.time);
        ASSERT_TRUE(
            waitUntil([&] { return preview_->pictureSeconds() == TimelinePreview::secondsOfTick(c.tick, 20); }, 20000));
        EXPECT_EQ(timesAtPicture.last(), c.time);
        const QPixmap picture = label(QStringLiteral("previewPicture"))->pixmap();
        EXPECT_EQ(picture.size(), QSize(ThumbnailProvider::width, 120));  // the movie's 4:3

        // Above the tick, apart from the timeline, never the active window or the focus.
        const QRect shown = preview_->geometry();
        const QPoint tick = slider_->mapToGlobal(tickPoint(c.tick));
        EXPECT_LT(shown.bottom(), slider_->mapToGlobal(QPoint(0, 0)).y());
        EXPECT_LE(std::abs(shown.center().x() - tick.x()), 1);
        EXPECT_NE(QApplication::activeWindow(), preview_);
        EXPECT_EQ(QApplication::focusWidget(), focused);
    }
}

TEST_F(TimelinePreviewTest, TimeTextsFollowTheMovieLength) {
    // No such file: no picture ever comes, the time shows alone.
    const QString missing = folder_.filePath(QStringLiteral("missing.mp4"));
    const struct {
        double duration;
        int tick;
        QString time;
    } cases[] = {
        {20, 0, QStringLiteral("00:00")},       {20, 99, QStringLiteral("00:20")},
        {3599, 50, QStringLiteral("30:00")},    {5400, 1, QStringLiteral("00:00:54")},
        {5400, 99, QStringLiteral("01:29:06")},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.time.toStdString());
        select(missing, c.duration);
        ASSERT_TRUE(hover(c.tick));
        EXPECT_EQ(preview_->timeText(), c.time);
        ASSERT_TRUE(waitUntil([&] { return preview_->provider().isIdle(); }));
        EXPECT_FALSE(preview_->pictureSeconds().has_value());
        EXPECT_TRUE(preview_->isVisible());
    }
}

TEST_F(TimelinePreviewTest, AMarkOnTheHoveredTickAddsItsText) {
    select(movie(), 20,
           "1\r\n00:00:05,000 --> 00:00:06,000\r\nMark: look here\r\n\r\n"
           "2\r\n00:00:10,000 --> 00:00:11,000\r\nDeath: Crab\r\n(E)\r\n\r\n"
           "3\r\n00:00:15,000 --> 00:00:16,000\r\njust a cue\r\n\r\n");
    // A mark is drawn from its tick's centre to the right, where the next tick is nearer.
    const QRectF drawn = bar_->cell().rectOfTickMark(25);
    const int y = tickPoint(25).y();
    const QPoint rightEnd(int(std::ceil(drawn.right())) - 1, y);
    ASSERT_EQ(preview_->tickAt(rightEnd.x()), 26);
    const struct {
        const char* name;
        QPoint at;
        QString marks;
        int color;
    } cases[] = {
        {"the mark's tick", tickPoint(25), QStringLiteral("Mark: look here"), VideoSliderCell::gray},
        {"the right end of the mark", rightEnd, QStringLiteral("Mark: look here"), VideoSliderCell::gray},
        {"two ticks on", tickPoint(27), QString(), 0},
        {"a death's tick", tickPoint(50), QStringLiteral("Death: Crab (E)"), VideoSliderCell::orange},
        {"a plain cue's tick", tickPoint(75), QString(), 0},
    };
    QLabel* marks = label(QStringLiteral("previewMarks"));
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        ASSERT_TRUE(hoverAt(c.at));
        EXPECT_EQ(preview_->markText(), c.marks);
        EXPECT_EQ(marks->isVisible(), !c.marks.isEmpty());
        if (!c.marks.isEmpty()) {
            EXPECT_TRUE(marks->text().contains(bar_->cell().colors[c.color].name()));
        }
    }

    // A mark added while the movie is open shows too.
    const SubtitleItem added(16, 17, QStringLiteral("Mark: new one"), ItemColor::gray, 20);
    bar_->addTimelineMark(added);
    ASSERT_TRUE(hover(80));
    EXPECT_EQ(preview_->markText(), QStringLiteral("Mark: new one"));
}

TEST_F(TimelinePreviewTest, HidesOnLeavingAndOnAnotherMovie) {
    const QString first = movie();
    select(first, 20);
    ASSERT_TRUE(hover(40));
    ASSERT_TRUE(leave());
    EXPECT_FALSE(preview_->tick().has_value());

    ASSERT_TRUE(hover(40));
    const QString second = clip(QStringLiteral("second.mp4"), {.seconds = 4});
    select(second, 4);
    EXPECT_FALSE(preview_->isVisible());
    EXPECT_EQ(preview_->provider().movie(), second);
    ASSERT_TRUE(hover(10));
    EXPECT_EQ(preview_->timeText(), QStringLiteral("00:00"));

    // Switched off, hovering shows nothing.
    ASSERT_TRUE(leave());
    preview_->setActive(false);
    QTest::mouseMove(slider_, tickPoint(30));
    ASSERT_TRUE(waitUntil([&] { return slider_->underMouse(); }));
    EXPECT_FALSE(preview_->isVisible());
}

TEST_F(TimelinePreviewTest, StaysOnTheScreenAtTheEndsOfTheTimeline) {
    select(movie(), 20);
    const QRect screen = slider_->screen()->availableGeometry();
    const QPoint first = slider_->mapTo(host_.get(), tickPoint(0));
    const QPoint last = slider_->mapTo(host_.get(), tickPoint(VideoSlider::tickCount - 1));
    const struct {
        const char* name;
        QPoint window;
        int tick;
        bool below;
    } cases[] = {
        {"start at the left edge", QPoint(screen.left() + 20 - first.x(), 400), 0, false},
        {"end at the right edge", QPoint(screen.right() - 20 - last.x(), 400), VideoSlider::tickCount - 1, false},
        {"timeline at the top", QPoint(400, screen.top() - slider_->mapTo(host_.get(), QPoint(0, 0)).y()), 50, true},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        ASSERT_TRUE(leave());
        host_->move(c.window);
        ASSERT_TRUE(waitUntil([&] { return host_->pos() == c.window; }));
        ASSERT_TRUE(hover(c.tick));
        const QRect shown = preview_->geometry();
        EXPECT_TRUE(screen.contains(shown))
            << shown.x() << "," << shown.y() << " " << shown.width() << "x" << shown.height();
        const int sliderTop = slider_->mapToGlobal(QPoint(0, 0)).y();
        if (c.below) {
            EXPECT_GT(shown.top(), sliderTop + slider_->height() - 1);
        } else {
            EXPECT_LT(shown.bottom(), sliderTop);
        }
    }
}

TEST_F(TimelinePreviewTest, ClicksAndDragsStillSeekWhileItShows) {
    const QString path = movie();
    Player player(Player::Options{false, false});
    QSignalSpy loaded(&player, &Player::loadFinished);
    player.replaceCurrentItem(getPlayerItem(QUrl::fromLocalFile(path), 20));
    ASSERT_TRUE(waitUntil([&] { return !loaded.isEmpty(); }, 10000));
    select(path, 20);
    Q_EMIT notify().videoLoaded(&player);
    const auto settlesAt = [&](double seconds) {
        return waitUntil([&] { return std::abs(player.currentTime() - seconds) < 0.05; });
    };

    ASSERT_TRUE(hover(50));
    QTest::mouseClick(slider_, Qt::LeftButton, {}, tickPoint(50));
    EXPECT_TRUE(settlesAt(10.0)) << player.currentTime();
    EXPECT_TRUE(preview_->isVisible());

    // A drag: the preview follows the knob, the player moves once it is let go.
    QTest::mousePress(slider_, Qt::LeftButton, {}, tickPoint(20));
    QTest::mouseMove(slider_, tickPoint(70));
    EXPECT_EQ(preview_->tick(), 70);
    EXPECT_EQ(preview_->timeText(), QStringLiteral("00:14"));
    QTest::mouseRelease(slider_, Qt::LeftButton, {}, tickPoint(70));
    EXPECT_TRUE(settlesAt(14.0)) << player.currentTime();
    EXPECT_EQ(player.rate(), 0);  // hovering and seeking left it paused
}

}  // namespace
