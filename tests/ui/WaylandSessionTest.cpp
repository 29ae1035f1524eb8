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
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QMessageBox>
#include <QMouseEvent>
#include <QPointer>
#include <QProcess>
#include <QScreen>
#include <QSlider>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <QToolButton>
#include <QWindow>
#include <algorithm>
#include <functional>
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

// The compositor's own pointer and keyboard, driven as a user's devices would be: their events
// pass through the compositor to the surface under the pointer (or with the keyboard focus), as
// Qt's test events, delivered inside the program, never do. sway (wlroots) offers the virtual
// pointer and keyboard protocols. weston 10 offers neither, nor any other way in for input, and
// its headless backend not even a seat: there the tests hand the program Qt's test events.
class CompositorInput {
public:
    static bool offered() { return qEnvironmentVariable("REELNOOK_TEST_COMPOSITOR") == QStringLiteral("sway"); }

    CompositorInput() {
        pointer_.start(QStringLiteral(REELNOOK_TEST_VIRTUAL_POINTER), {});
        // A keyboard on the seat for the whole run: the program takes the seat's keyboard when
        // one appears, and the keys of a keyboard that appeared with them could come first.
        keyboard_.start(QStringLiteral("wtype"), {QStringLiteral("-s"), QStringLiteral("3600000")});
    }
    ~CompositorInput() {
        pointer_.closeWriteChannel();
        pointer_.waitForFinished(10000);
        keyboard_.kill();
        keyboard_.waitForFinished(10000);
    }

    // Runs a command of the virtual pointer (move X Y, press, release, click, doubleclick) and
    // returns once the compositor has handled it.
    bool pointer(const QString& command) {
        pointer_.write(command.toUtf8() + '\n');
        while (!pointer_.canReadLine())
            if (!pointer_.waitForReadyRead(30000)) {
                ADD_FAILURE() << "the virtual pointer does not answer " << command.toStdString() << ": "
                              << pointer_.readAllStandardError().toStdString();
                return false;
            }
        const bool ok = pointer_.readLine().trimmed() == "ok";
        if (!ok)
            ADD_FAILURE() << command.toStdString() << ": " << pointer_.readAllStandardError().toStdString();
        return ok;
    }
    bool moveTo(const QPoint& at) { return pointer(QStringLiteral("move %1 %2").arg(at.x()).arg(at.y())); }
    // Types the key named `name` (an XKB key name such as Escape) to the window with the focus.
    static bool key(const QString& name) {
        return QProcess::execute(QStringLiteral("wtype"), {QStringLiteral("-k"), name}) == 0;
    }

private:
    QProcess pointer_;
    QProcess keyboard_;
};

// Where sway shows `window`'s contents, from its tree of windows: the program's window of that
// size (its pop-ups are not in the tree).
std::optional<QRect> swayWindowRect(const QWidget& window) {
    QProcess ipc;
    ipc.start(QStringLiteral("swaymsg"), {QStringLiteral("-r"), QStringLiteral("-t"), QStringLiteral("get_tree")});
    if (!ipc.waitForFinished(30000) || ipc.exitCode() != 0) {
        ADD_FAILURE() << "swaymsg: " << ipc.readAllStandardError().toStdString();
        return std::nullopt;
    }
    QList<QJsonObject> nodes{QJsonDocument::fromJson(ipc.readAllStandardOutput()).object()};
    while (!nodes.isEmpty()) {
        const QJsonObject node = nodes.takeLast();
        const QJsonObject rect = node[QStringLiteral("rect")].toObject();
        const QJsonObject inner = node[QStringLiteral("window_rect")].toObject();
        const QRect shown(rect[QStringLiteral("x")].toInt() + inner[QStringLiteral("x")].toInt(),
                          rect[QStringLiteral("y")].toInt() + inner[QStringLiteral("y")].toInt(),
                          inner[QStringLiteral("width")].toInt(), inner[QStringLiteral("height")].toInt());
        if (node[QStringLiteral("pid")].toInteger() == QCoreApplication::applicationPid() &&
            node[QStringLiteral("visible")].toBool() && shown.size() == window.size())
            return shown;
        for (const char* children : {"nodes", "floating_nodes"})
            for (const QJsonValue child : node[QLatin1String(children)].toArray())
                nodes << child.toObject();
    }
    return std::nullopt;
}

// Tells of each window a mouse move reaches, as Qt hands it over from the platform.
class PointerWindowWatch : public QObject {
public:
    explicit PointerWindowWatch(std::function<void(QWindow*)> moved) : moved_(std::move(moved)) {
        qApp->installEventFilter(this);
    }

protected:
    bool eventFilter(QObject* watched, QEvent* event) override {
        if (event->type() == QEvent::MouseMove && watched->isWindowType())
            moved_(static_cast<QWindow*>(watched));
        return false;
    }

private:
    std::function<void(QWindow*)> moved_;
};

class WaylandSession : public testing::Test {
protected:
    static void SetUpTestSuite() {
        ASSERT_TRUE(QGuiApplication::platformName().startsWith(QStringLiteral("wayland")))
            << "run through wayland-session.sh, not on " << QGuiApplication::platformName().toStdString();
        // Made before any window, so that the program knows the seat's pointer and keyboard
        // before its first window shows.
        if (CompositorInput::offered()) {
            input_ = std::make_unique<CompositorInput>();
            ASSERT_TRUE(input_->pointer(QStringLiteral("move 0 0")));
        }
    }
    static void TearDownTestSuite() { input_.reset(); }

    void SetUp() override {
        // An empty library, which selects nothing of its own.
        QDir(folder_.path()).mkdir(QStringLiteral("library"));
        global().setMoviesFolderOverride(folder_.filePath(QStringLiteral("library")));
        window_ = std::make_unique<MainWindow>();
        window_->showMaximized();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(window_.get(), 30000));
        // sway tiles the window over the whole screen, maybe after it first showed smaller:
        // the pointer goes where the window's widgets are at their final size.
        if (input_) {
            ASSERT_TRUE(waitUntil([this] { return window_->size() == window_->screen()->size(); }, 30000))
                << "the window never filled the screen";
        }
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
    // tell the program where. sway tells; elsewhere it is the place that shows the window's menu
    // bar row.
    QPoint windowOrigin(const QImage& screen) const {
        if (window_->isFullScreen())
            return {};
        if (input_) {
            std::optional<QRect> shown;
            if (!waitUntil([&] { return (shown = swayWindowRect(*window_)).has_value(); }, 30000))
                ADD_FAILURE() << "sway does not show the window";
            return shown ? shown->topLeft() : QPoint();
        }
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
    // Moves the compositor's pointer to `widget`'s point `local` (sway tells where the window
    // is: no screenshot needed).
    bool pointTo(const QWidget* widget, const QPoint& local) const {
        return input_->moveTo(onScreen(QImage(), widget, local));
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

    // The compositor's pointer and keyboard where it offers them (else null).
    static inline std::unique_ptr<CompositorInput> input_;
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
    if (input_) {
        ASSERT_TRUE(pointTo(button, button->rect().center()));
        ASSERT_TRUE(input_->pointer(QStringLiteral("click")));
    } else {
        QTest::mouseClick(button, Qt::LeftButton, {}, button->rect().center());
    }
    auto* popup = window_->findChild<QFrame*>(QStringLiteral("volumePopup"));
    ASSERT_TRUE(popup && waitUntil([&] { return popup->isVisible(); }, 30000));
    const QPoint under = button->mapToGlobal(QPoint(button->width() / 2, button->height()));
    const QPoint top = popup->mapToGlobal(QPoint());
    EXPECT_GE(top.y(), under.y());
    EXPECT_LE(top.y(), under.y() + 10);
    // Kept open by the pointer on it, as a user reaching for the slider keeps it (with Qt's
    // events, by its slider held): a slow screenshot must not outlast the pop-up.
    auto* slider = popup->findChild<QSlider*>(QStringLiteral("volumeSlider"));
    ASSERT_NE(slider, nullptr);
    if (input_) {
        // The program shows the pop-up before the compositor does: the pointer enters it once
        // the compositor has it, on a move of the pointer after that.
        int step = 0;
        ASSERT_TRUE(waitUntil(
            [&] { return pointTo(slider, slider->rect().center() + QPoint(++step % 2, 0)) && popup->underMouse(); },
            30000))
            << "the pop-up never had the pointer";
    } else {
        slider->setSliderDown(true);
    }
    EXPECT_TRUE(waitShown(popup)) << "the screen does not show the volume pop-up, " << shownShare(popup);
    EXPECT_TRUE(popup->isVisible()) << "the pop-up closed under the pointer";
    if (!input_)
        slider->setSliderDown(false);
}

TEST_F(WaylandSession, ThePreviewFollowsThePointerAndStays) {
    VideoSlider* timeline = transport()->timeline();
    TimelinePreview* preview = transport()->timelinePreview();
    for (const int tick : {20, 70}) {
        SCOPED_TRACE(tick);
        const QPoint tickCentre = timeline->tickCenter(tick).toPoint();
        if (input_)
            ASSERT_TRUE(pointTo(timeline, tickCentre));
        else
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
    // The window the program last had a pointer move in: the one whose cursor the compositor
    // shows.
    QPointer<QWindow> pointerWindow;
    PointerWindowWatch watch([&](QWindow* window) { pointerWindow = window; });
    QWindow* target = video()->videoWindow();
    const QPoint centre(target->width() / 2, target->height() / 2);
    if (input_) {
        ASSERT_TRUE(pointTo(video(), centre));
        ASSERT_TRUE(input_->pointer(QStringLiteral("doubleclick")));
    } else {
        // The double-click as the window gets it from Qt (whose own pairing of synthetic presses
        // depends on the clicks of earlier tests).
        QMouseEvent doubleClick(QEvent::MouseButtonDblClick, centre, target->mapToGlobal(centre), Qt::LeftButton,
                                Qt::LeftButton, Qt::NoModifier);
        QCoreApplication::sendEvent(target, &doubleClick);
    }
    ASSERT_TRUE(waitUntil([this] { return window_->isFullScreenVideo(); }, 30000))
        << "the double-click on the video did not reach it";
    // Only the video on screen, over all of it.
    EXPECT_TRUE(waitUntil([this] { return video()->size() == window_->screen()->size(); }, 30000));
    // The pointer over the video hides after a while without moving.
    const QPoint moved = video()->rect().center() + QPoint(5, 5);
    pointerWindow = nullptr;
    if (input_)
        ASSERT_TRUE(pointTo(video(), moved));
    else
        QTest::mouseMove(target, moved);
    ASSERT_TRUE(waitUntil([&] { return pointerWindow != nullptr; }, 30000)) << "the pointer's move never came";
    EXPECT_TRUE(waitUntil([&] { return pointerWindow->cursor().shape() == Qt::BlankCursor; }, 30000))
        << "the pointer shows over the video in full screen";
    // Leaving full screen shows it again.
    window_->setFullScreenVideo(false);
    EXPECT_NE(pointerWindow->cursor().shape(), Qt::BlankCursor);
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
        if (!input_) {
            QTest::keyClick(box, Qt::Key_Escape);
            return;
        }
        // The key goes to the window with the keyboard focus, which is the question's once the
        // compositor gave it the focus.
        ASSERT_TRUE(waitUntil([&] { return box->isActiveWindow(); }, 30000)) << "the question never had the keys";
        ASSERT_TRUE(CompositorInput::key(QStringLiteral("Escape")));
        // Whatever went wrong, the question must not wait for an answer forever.
        QTimer::singleShot(30000, box, [box] {
            if (!box->isVisible())
                return;
            ADD_FAILURE() << "Escape did not answer the question";
            box->reject();
        });
    });
    answerer.start(50);
    EXPECT_FALSE(window_->confirmLeavingMovie()) << "Escape is Cancel: the movie stays";
    answerer.stop();
    EXPECT_TRUE(shown) << "the screen never showed the question";
    EXPECT_TRUE(window_->openMovie()->isModified());
    EXPECT_EQ(window_->openMovie()->marks().items().size(), 1);
}
