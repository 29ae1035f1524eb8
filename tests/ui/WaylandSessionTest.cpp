// The window in a real Wayland session: run by wayland-session.sh inside a headless compositor,
// with the compositor's own screenshots showing what reached the screen.
#include "TestEnv.h"
#include "TestMedia.h"
#include "core/AppState.h"
#include "core/Events.h"
#include "models/SubtitlesViewModel.h"
#include "playback/Player.h"
#include "playback/TimelinePreview.h"
#include "playback/VideoPlayerView.h"
#include "playback/VideoSlider.h"
#include "playback/VideoToolbarView.h"
#include "ui/ContentView.h"
#include "ui/MainWindow.h"

#include <gtest/gtest.h>
#include <QGuiApplication>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>
#include <QToolButton>
#include <QWindow>
#include <memory>

namespace {

// The screen as the compositor shows it.
QImage screenshot() {
    const QString file = testHome() + QStringLiteral("/screen.png");
    QFile::remove(file);
    QProcess shot;
    shot.start(qEnvironmentVariable("REELNOOK_TEST_SCREENSHOT"), {file});
    if (!shot.waitForFinished(30000) || shot.exitCode() != 0)
        ADD_FAILURE() << "no screenshot: " << shot.readAllStandardError().toStdString();
    if (qEnvironmentVariableIsSet("KEEPSHOT")) QFile::copy(file, qEnvironmentVariable("KEEPSHOT"));
    return QImage(file).convertToFormat(QImage::Format_RGB32);
}

// The share of pixels of `expected` that `screen` shows alike at `at`.
double sameShare(const QImage& screen, const QImage& expected, const QPoint& at) {
    int same = 0;
    for (int y = 0; y < expected.height(); ++y)
        for (int x = 0; x < expected.width(); ++x) {
            if (!screen.rect().contains(at + QPoint(x, y)))
                continue;
            const QRgb a = screen.pixel(at + QPoint(x, y)), b = expected.pixel(x, y);
            same += std::max({std::abs(qRed(a) - qRed(b)), std::abs(qGreen(a) - qGreen(b)),
                              std::abs(qBlue(a) - qBlue(b))}) <= 24;
        }
    return double(same) / std::max(1, expected.width() * expected.height());
}

// The share of pixels in `area` that differ between two screenshots.
double changedShare(const QImage& a, const QImage& b, const QRect& area) {
    int changed = 0;
    const QRect inside = area.intersected(a.rect()).intersected(b.rect());
    for (int y = inside.top(); y <= inside.bottom(); ++y)
        for (int x = inside.left(); x <= inside.right(); ++x)
            changed += a.pixel(x, y) != b.pixel(x, y);
    return double(changed) / std::max(1, inside.width() * inside.height());
}

class WaylandSession : public testing::Test {
protected:
    static void SetUpTestSuite() {
        ASSERT_TRUE(QGuiApplication::platformName().startsWith(QStringLiteral("wayland")))
            << "run through wayland-session.sh, not on " << QGuiApplication::platformName().toStdString();
    }

    void SetUp() override {
        global().setMoviesFolderOverride(folder_.path());
        window_ = std::make_unique<MainWindow>();
        window_->showMaximized();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(window_.get(), 30000));
        const QString path = folder_.filePath(QStringLiteral("clip.mp4"));
        ASSERT_TRUE(makeClip(path, ClipShape{20.0, QStringLiteral("320x180"), false}));
        const VideoItem item(QUrl::fromLocalFile(path), QString(), QStringLiteral("clip"), QString(), ItemColor::white,
                             20.0);
        SubtitlesViewModel::shared().load(QUrl::fromLocalFile(folder_.filePath(QStringLiteral("clip.srt"))), 20.0);
        Q_EMIT notify().videoSelected(item);
        ASSERT_TRUE(waitUntil([this] { return video() && video()->framesRendered() > 0; }, 60000));
    }
    void TearDown() override {
        window_.reset();
        global().setMoviesFolderOverride({});
    }

    VideoPlayerView* video() const { return window_->content()->videoView(); }
    VideoToolbarView* transport() const { return window_->content()->toolbarView(); }
    // The native window the video is drawn into, which is the one under the pointer there.
    QWindow* videoWindow() const { return video()->videoWindow(); }

    // Where `widget`'s point `local` is on the screen. The maximized window starts at the
    // screen's corner, inside the decorations Qt draws around it where the compositor draws none.
    QPoint onScreen(const QWidget* widget, const QPoint& local = {}) const {
        const QMargins frame = window_->windowHandle()->frameMargins();
        return widget->mapToGlobal(local) + QPoint(frame.left(), frame.top());
    }
    // What the screen shows of a top-level pop-up `widget` compared with its own picture.
    double shownShare(QWidget* widget) const {
        const QImage own = widget->grab().toImage().convertToFormat(QImage::Format_RGB32);
        return sameShare(screenshot(), own, onScreen(widget));
    }
    // Waits until the screen shows `widget` as it draws itself.
    bool waitShown(QWidget* widget) const {
        return waitUntil([&] { return shownShare(widget) > 0.9; }, 30000);
    }

    QTemporaryDir folder_{testHome() + QStringLiteral("/session-XXXXXX")};
    std::unique_ptr<MainWindow> window_;
};

}  // namespace

TEST_F(WaylandSession, TheVideoMovesOnScreen) {
    ASSERT_TRUE(waitUntil([this] { return video()->player()->isLoaded(); }, 30000));
    transport()->togglePlay();
    ASSERT_TRUE(waitUntil([this] { return video()->player()->currentTime() > 0.5; }, 30000));
    const QRect area(onScreen(video()), video()->size());
    const QImage before = screenshot();
    const int framesBefore = video()->framesRendered();
    // A second apart in the movie's own time, whatever the machine's load.
    const double start = video()->player()->currentTime();
    ASSERT_TRUE(waitUntil([&] { return video()->player()->currentTime() > start + 1.0; }, 30000));
    ASSERT_TRUE(waitUntil([&] { return video()->framesRendered() > framesBefore; }, 30000));
    EXPECT_TRUE(waitUntil([&] { return changedShare(before, screenshot(), area) > 0.001; }, 30000))
        << "the video area stayed the same on screen";
}

TEST_F(WaylandSession, TheVolumePopupShowsUnderItsButton) {
    auto* button = transport()->findChild<QToolButton*>(QStringLiteral("volumeButton"));
    ASSERT_NE(button, nullptr);
    QTest::mouseClick(button, Qt::LeftButton, {}, button->rect().center());
    auto* popup = window_->findChild<QFrame*>(QStringLiteral("volumePopup"));
    ASSERT_TRUE(popup && waitUntil([&] { return popup->isVisible(); }));
    const QPoint under = onScreen(button, QPoint(button->width() / 2, button->height()));
    const QPoint top = onScreen(popup);
    EXPECT_GE(top.y(), under.y());
    EXPECT_LE(top.y(), under.y() + 10);
    qDebug() << "popup" << top << popup->geometry() << window_->windowHandle()->frameMargins() << under;
    EXPECT_TRUE(waitShown(popup)) << "the screen does not show the volume pop-up, " << shownShare(popup);
}

TEST_F(WaylandSession, ThePreviewFollowsThePointerAndStays) {
    VideoSlider* timeline = transport()->timeline();
    TimelinePreview* preview = transport()->timelinePreview();
    QWindow* window = window_->windowHandle();
    const auto hover = [&](int tick) {
        const QPoint at = timeline->mapTo(window_.get(), timeline->tickCenter(tick).toPoint());
        QTest::mouseMove(window, at + QPoint(0, 0));
        return waitUntil([&] { return preview->isVisible() && preview->tick() == tick && preview->pictureSeconds(); },
                         30000);
    };
    for (const int tick : {20, 70}) {
        SCOPED_TRACE(tick);
        ASSERT_TRUE(hover(tick));
        // Centred over the tick, beside the timeline (below it: the toolbar is at the screen's top).
        const QPoint tickOnScreen = onScreen(timeline, timeline->tickCenter(tick).toPoint());
        EXPECT_NEAR(onScreen(preview).x() + preview->width() / 2, tickOnScreen.x(), 2);
        EXPECT_FALSE(QRect(onScreen(preview), preview->size()).intersects(QRect(onScreen(timeline), timeline->size())));
        EXPECT_TRUE(waitShown(preview)) << "the screen does not show the preview there, " << shownShare(preview);
        EXPECT_TRUE(preview->isVisible()) << "the preview closed on its own";
    }
}

TEST_F(WaylandSession, ADoubleClickOnTheVideoTogglesFullScreenAndThePointerHides) {
    QWindow* target = videoWindow();
    ASSERT_NE(target, nullptr);
    const QPoint centre(target->width() / 2, target->height() / 2);
    QTest::mouseDClick(target, Qt::LeftButton, {}, centre);
    ASSERT_TRUE(waitUntil([this] { return window_->isFullScreenVideo(); }));
    // Only the video on screen: it reaches the top left corner.
    EXPECT_TRUE(waitUntil([this] { return onScreen(video()) == QPoint(0, 0) && video()->width() >= 1280; }, 30000));
    // The pointer over the video hides after a while without moving.
    QTest::mouseMove(target, centre + QPoint(5, 5));
    EXPECT_TRUE(waitUntil([&] { return target->cursor().shape() == Qt::BlankCursor; }, 30000));
    QTest::mouseDClick(target, Qt::LeftButton, {}, centre);
    EXPECT_TRUE(waitUntil([this] { return !window_->isFullScreenVideo(); }));
    EXPECT_NE(target->cursor().shape(), Qt::BlankCursor);
}
