// The window in a real Wayland session: run by wayland-session.sh inside a headless compositor,
// with the compositor's own screenshots showing what reached the screen.
#include "TestEnv.h"
#include "TestMedia.h"
#include "core/AppState.h"
#include "models/SubtitlesViewModel.h"
#include "playback/Player.h"
#include "playback/TimelinePreview.h"
#include "playback/VideoPlayerView.h"
#include "playback/VideoSlider.h"
#include "playback/VideoToolbarView.h"
#include "ui/ContentView.h"
#include "ui/MainWindow.h"
#include "ui/OpenMovie.h"

#include <gtest/gtest.h>
#include <QDir>
#include <QGuiApplication>
#include <QMessageBox>
#include <QMouseEvent>
#include <QProcess>
#include <QScreen>
#include <QSlider>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <QToolButton>
#include <QWindow>
#include <algorithm>
#include <memory>
#include <optional>

namespace {

// The screen as the compositor shows it.
QImage screenshot() {
    const QString file = testHome() + QStringLiteral("/screen.png");
    QFile::remove(file);
    QProcess shot;
    shot.start(qEnvironmentVariable("REELNOOK_TEST_SCREENSHOT"), {file});
    if (!shot.waitForFinished(30000) || shot.exitCode() != 0)
        ADD_FAILURE() << "no screenshot: " << shot.readAllStandardError().toStdString();
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

// Where `screen` shows `image` whole (its pixels alike), searched everywhere: the compositor
// places dialogs where it likes. Candidates are first matched on a few sample pixels.
std::optional<QPoint> findOnScreen(const QImage& screen, const QImage& image) {
    const auto alike = [](QRgb a, QRgb b) {
        return std::max(
                   {std::abs(qRed(a) - qRed(b)), std::abs(qGreen(a) - qGreen(b)), std::abs(qBlue(a) - qBlue(b))}) <= 24;
    };
    QList<QPoint> samples;
    for (int i = 1; i <= 4; ++i)
        for (int j = 1; j <= 4; ++j)
            samples << QPoint(image.width() * i / 5, image.height() * j / 5);
    for (int y = 0; y + image.height() <= screen.height(); ++y)
        for (int x = 0; x + image.width() <= screen.width(); ++x) {
            const QPoint at(x, y);
            const bool candidate = std::all_of(samples.cbegin(), samples.cend(), [&](const QPoint& p) {
                return alike(screen.pixel(at + p), image.pixel(p));
            });
            if (candidate && sameShare(screen, image, at) > 0.9)
                return at;
        }
    return std::nullopt;
}

class WaylandSession : public testing::Test {
protected:
    static void SetUpTestSuite() {
        ASSERT_TRUE(QGuiApplication::platformName().startsWith(QStringLiteral("wayland")))
            << "run through wayland-session.sh, not on " << QGuiApplication::platformName().toStdString();
    }

    void SetUp() override {
        // An empty library, which selects nothing of its own.
        QDir(folder_.path()).mkdir(QStringLiteral("library"));
        global().setMoviesFolderOverride(folder_.filePath(QStringLiteral("library")));
        window_ = std::make_unique<MainWindow>();
        window_->showMaximized();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(window_.get(), 30000));
        const QString path = folder_.filePath(QStringLiteral("clip.mp4"));
        ASSERT_TRUE(makeClip(path, ClipShape{20.0, QStringLiteral("320x180"), false}));
        const VideoItem item(QUrl::fromLocalFile(path), QString(), QStringLiteral("clip"), QString(), ItemColor::white,
                             20.0);
        window_->openMovie()->open(item);
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

    // Where the window's corner is on `screen`: the compositor places it, and Wayland does not
    // tell the program where. Found as the place that shows the window's menu bar row.
    QPoint windowOrigin(const QImage& screen) const {
        if (window_->isFullScreen())
            return {};
        const QImage corner = window_->grab(QRect(0, 0, 160, 20)).toImage().convertToFormat(QImage::Format_RGB32);
        for (int y = 0; y + corner.height() <= screen.height(); ++y)
            for (int x = 0; x + corner.width() <= screen.width(); ++x)
                if (screen.pixel(x, y) == corner.pixel(0, 0) && sameShare(screen, corner, QPoint(x, y)) > 0.98)
                    return QPoint(x, y);
        ADD_FAILURE() << "the window is not on the screen";
        return {};
    }
    // Where `widget`'s point `local` is on `screen`; the widget is in the window or a pop-up of it.
    QPoint onScreen(const QImage& screen, const QWidget* widget, const QPoint& local = {}) const {
        return windowOrigin(screen) + widget->mapToGlobal(local) - window_->mapToGlobal(QPoint());
    }
    // How much of a top-level `widget` the screen shows as it draws itself.
    double shownShare(QWidget* widget) const {
        const QImage screen = screenshot();
        const QImage own = widget->grab().toImage().convertToFormat(QImage::Format_RGB32);
        return sameShare(screen, own, onScreen(screen, widget));
    }
    // Waits until the screen shows the top-level `widget` as it draws itself.
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
    const QImage before = screenshot();
    const QRect area(onScreen(before, video()), video()->size());
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
    const QPoint under = button->mapToGlobal(QPoint(button->width() / 2, button->height()));
    const QPoint top = popup->mapToGlobal(QPoint());
    EXPECT_GE(top.y(), under.y());
    EXPECT_LE(top.y(), under.y() + 10);
    // Held by its slider, as a user dragging it: a slow screenshot must not outlast the pop-up.
    auto* slider = popup->findChild<QSlider*>(QStringLiteral("volumeSlider"));
    ASSERT_NE(slider, nullptr);
    slider->setSliderDown(true);
    EXPECT_TRUE(waitShown(popup)) << "the screen does not show the volume pop-up, " << shownShare(popup);
    EXPECT_TRUE(popup->isVisible()) << "the pop-up closed while its slider was held";
    slider->setSliderDown(false);
}

TEST_F(WaylandSession, ThePreviewFollowsThePointerAndStays) {
    VideoSlider* timeline = transport()->timeline();
    TimelinePreview* preview = transport()->timelinePreview();
    for (const int tick : {20, 70}) {
        SCOPED_TRACE(tick);
        const QPoint tickCentre = timeline->tickCenter(tick).toPoint();
        QTest::mouseMove(window_->windowHandle(), timeline->mapTo(window_.get(), tickCentre));
        ASSERT_TRUE(waitUntil(
            [&] { return preview->isVisible() && preview->tick() == tick && preview->pictureSeconds(); }, 30000));
        // Centred on the tick, beside the timeline, never over it (nor over the pointer).
        const QRect shown(preview->mapToGlobal(QPoint()), preview->size());
        EXPECT_NEAR(shown.center().x(), timeline->mapToGlobal(tickCentre).x(), 2);
        EXPECT_FALSE(shown.intersects(QRect(timeline->mapToGlobal(QPoint()), timeline->size())));
        EXPECT_TRUE(waitShown(preview)) << "the screen does not show the preview there, " << shownShare(preview);
        EXPECT_TRUE(preview->isVisible()) << "the preview closed on its own";
    }
}

TEST_F(WaylandSession, ADoubleClickOnTheVideoTogglesFullScreenAndThePointerHides) {
    QWindow* target = video()->videoWindow();
    const QPoint centre(target->width() / 2, target->height() / 2);
    // The double-click as the window gets it from Qt (whose own pairing of synthetic presses
    // depends on the clicks of earlier tests).
    QMouseEvent doubleClick(QEvent::MouseButtonDblClick, centre, target->mapToGlobal(centre), Qt::LeftButton,
                            Qt::LeftButton, Qt::NoModifier);
    QCoreApplication::sendEvent(target, &doubleClick);
    ASSERT_TRUE(waitUntil([this] { return window_->isFullScreenVideo(); }));
    // Only the video on screen, over all of it.
    EXPECT_TRUE(waitUntil([this] { return video()->size() == window_->screen()->size(); }, 30000));
    // The pointer over the video hides after a while without moving.
    const QPoint moved = centre + QPoint(5, 5);
    QTest::mouseMove(target, moved);
    EXPECT_TRUE(waitUntil([&] { return target->cursor().shape() == Qt::BlankCursor; }, 30000));
    // Leaving full screen shows it again.
    window_->setFullScreenVideo(false);
    EXPECT_NE(target->cursor().shape(), Qt::BlankCursor);
}

TEST_F(WaylandSession, TheUnsavedMarksQuestionShowsAndCancelKeepsTheMarks) {
    ASSERT_TRUE(window_->openMovie()->addMark(2.0, QStringLiteral("Mark: kept")));
    bool shown = false;
    QTimer answerer;
    QObject::connect(&answerer, &QTimer::timeout, &answerer, [&] {
        auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
        if (!box || !box->isVisible() || box->property("answered").toBool())
            return;
        box->setProperty("answered", true);
        const QImage own = box->grab().toImage().convertToFormat(QImage::Format_RGB32);
        shown = waitUntil([&] { return findOnScreen(screenshot(), own).has_value(); }, 30000);
        QTest::keyClick(box, Qt::Key_Escape);
    });
    answerer.start(50);
    EXPECT_FALSE(window_->confirmLeavingMovie()) << "Escape is Cancel: the movie stays";
    answerer.stop();
    EXPECT_TRUE(shown) << "the screen never showed the question";
    EXPECT_TRUE(window_->openMovie()->isModified());
    EXPECT_EQ(window_->openMovie()->marks().items().size(), 1);
}
