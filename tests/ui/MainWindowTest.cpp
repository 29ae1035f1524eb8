#include "ListClicks.h"
#include "TestEnv.h"
#include "TestMedia.h"
#include "core/AppState.h"
#include "core/Events.h"
#include "models/SubtitlesViewModel.h"
#include "playback/Player.h"
#include "playback/VideoPlayerView.h"
#include "ui/AppMain.h"
#include "ui/ContentView.h"
#include "ui/DetailView.h"
#include "ui/MainWindow.h"
#include "ui/OpenMovie.h"
#include "ui/SidebarView.h"

#include <QAction>
#include <QApplication>
#include <QFrame>
#include <QMenu>
#include <QMenuBar>
#include <QProcess>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>
#include "MessageBoxes.h"
#include "models/MoviesViewModel.h"
#include "models/SidecarLoader.h"
#include "playback/VideoSlider.h"
#include "playback/VideoSliderCell.h"
#include "playback/VideoToolbarView.h"
#include "subtitles/FileNaming.h"
#include "subtitles/SubtitleSRT.h"
#include "ui/IndexListView.h"
#include "ui/MprisService.h"

#include <gtest/gtest.h>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QFileInfo>
#include <QLineEdit>
#include <QMimeData>
#include <QScreen>
#include <QSettings>
#include <QThread>
#include <QToolBar>
#include <QToolButton>
#include <QWheelEvent>
#include <functional>

namespace {

class WindowFixture : public testing::Test {
protected:
    void SetUp() override {
        global().setMoviesFolderOverride(folder_.path());
        window_ = std::make_unique<MainWindow>();
        window_->resize(1400, 800);
        window_->show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(window_.get()));
    }
    void TearDown() override { global().setMoviesFolderOverride({}); }

    // Announces a movie as the sidebar does, with its marks loaded.
    VideoItem select(const QString& name, const QByteArray& srt = {}) {
        const QString path = folder_.filePath(name + QStringLiteral(".mp4"));
        makeClip(path, ClipShape{4.0, QStringLiteral("160x120"), true});
        if (!srt.isEmpty())
            writeFile(folder_.filePath(name + QStringLiteral(".srt")), srt);
        VideoItem item(QUrl::fromLocalFile(path), QStringLiteral(""), name, QStringLiteral(""), ItemColor::white, 4.0);
        window_->openMovie()->open(item);
        return item;
    }

    // A key as the window system delivers it, so that window-wide shortcuts see it.
    // The first video surface makes Qt re-create the window, which then is no longer active.
    void pressKey(Qt::Key key, Qt::KeyboardModifiers modifiers = Qt::NoModifier) {
        if (QApplication::activeWindow() != window_.get()) {
            window_->activateWindow();
            ASSERT_TRUE(QTest::qWaitForWindowActive(window_.get()));
        }
        QTest::keyClick(window_->windowHandle(), key, modifiers);
    }

    QTemporaryDir folder_{testHome() + QStringLiteral("/window-XXXXXX")};
    std::unique_ptr<MainWindow> window_;
};

}  // namespace

TEST_F(WindowFixture, StartsBlackWithBothSeparatorsAndTheHiddenPanel) {
    ContentView* content = window_->content();
    EXPECT_GE(content->width(), 700);
    EXPECT_GE(content->height(), 500);
    EXPECT_EQ(content->videoView(), nullptr);
    const QImage picture = content->grab().toImage();
    EXPECT_EQ(QColor(picture.pixel(picture.width() / 2, picture.height() / 2)), QColor(Qt::black));

    const auto separators = window_->findChildren<QFrame*>(QStringLiteral("paneSeparator"));
    ASSERT_EQ(separators.size(), 2);
    for (QFrame* line : separators) {
        EXPECT_TRUE(line->isVisible());
        EXPECT_EQ(line->width(), 1);
    }
    const QWidget* central = window_->centralWidget();
    EXPECT_EQ(separators[1]->geometry().right(), central->width() - 1);
    EXPECT_EQ(window_->detail()->width(), 0);
}

TEST_F(WindowFixture, ShowingThePanelNarrowsTheContent) {
    const int before = window_->content()->width();
    window_->detail()->toolbarAction()->trigger();
    EXPECT_TRUE(waitUntil([&] { return window_->detail()->width() == DetailView::panelWidth; }));
    waitUntil([] { return false; }, 50);
    EXPECT_EQ(window_->content()->width(), before - DetailView::panelWidth);
    window_->detail()->toolbarAction()->trigger();
    EXPECT_TRUE(waitUntil([&] { return window_->content()->width() == before; }));
}

TEST_F(WindowFixture, MenusHoldResumeTheKeysAndTheMakersAddress) {
    const QList<QAction*> menus = window_->menuBar()->actions();
    ASSERT_EQ(menus.size(), 3);
    EXPECT_EQ(menus.first()->text(), QStringLiteral("Edit"));
    EXPECT_EQ(menus[1]->text(), QStringLiteral("Playback"));
    const QList<QAction*> playback = menus[1]->menu()->actions();
    ASSERT_EQ(playback.size(), 1);
    EXPECT_EQ(playback.first()->text(), QStringLiteral("Resume Where Left Off"));
    EXPECT_TRUE(playback.first()->isCheckable() && playback.first()->isChecked());  // on by default
    EXPECT_EQ(menus.last()->text(), QStringLiteral("Help"));
    const QList<QAction*> entries = menus.last()->menu()->actions();
    ASSERT_EQ(entries.size(), 2);
    EXPECT_EQ(entries.first()->text(), QStringLiteral("Keyboard Shortcuts"));
    EXPECT_EQ(entries.first()->shortcut(), QKeySequence(Qt::Key_F1));
    EXPECT_FALSE(entries.last()->text().isEmpty());
}

TEST_F(WindowFixture, DarkWhateverTheDesktopSays) {
    applyDarkTheme(*qApp);
    EXPECT_LT(qApp->palette().color(QPalette::Window).lightness(), 60);
    EXPECT_GT(qApp->palette().color(QPalette::WindowText).lightness(), 200);
}

TEST_F(WindowFixture, SelectingRecordsTheMovieAndPausesTheOldPlayerFirst) {
    const VideoItem first = select(QStringLiteral("first"));
    EXPECT_EQ(window_->openMovie()->url(), first.url());
    ASSERT_TRUE(waitUntil([&] { return window_->content()->player() != nullptr; }));
    Player* player = window_->content()->player();
    ASSERT_TRUE(waitUntil([&] { return player->isLoaded(); }, 10000));
    player->play();
    ASSERT_TRUE(waitUntil([&] { return player->isPlaying(); }));

    bool pausedBeforeAnnounced = false;
    QObject probe;
    QObject::connect(
        &notify(), &ApplicationEvents::videoLoaded, &probe, [&] { pausedBeforeAnnounced = !player->isPlaying(); },
        Qt::DirectConnection);
    const VideoItem second = select(QStringLiteral("second"));
    EXPECT_EQ(window_->openMovie()->url(), second.url());
    EXPECT_TRUE(waitUntil([&] { return pausedBeforeAnnounced; }));
    EXPECT_EQ(window_->openMovie()->url(), second.url());
}

TEST_F(WindowFixture, TheFirstSelectionOpensTheMovieAtOnceOnThePreparedSurface) {
    // The window made its video surface after showing; black still shows until a selection.
    waitUntil([] { return false; }, 300);
    EXPECT_EQ(window_->content()->videoView(), nullptr);
    const QImage before = window_->content()->grab().toImage();
    EXPECT_EQ(QColor(before.pixel(before.width() / 2, before.height() / 2)), QColor(Qt::black));

    // The selection is handed to mpv before the surface is even on screen.
    select(QStringLiteral("at-once"));
    Player* player = window_->content()->player();
    ASSERT_NE(player, nullptr);
    EXPECT_TRUE(player->isOpening() || player->isLoaded());
    EXPECT_EQ(window_->content()->findChildren<VideoPlayerView*>().size(), 1);
    EXPECT_TRUE(waitUntil([&] { return player->isLoaded(); }, 10000));
}

TEST_F(WindowFixture, TheVolumePopupShowsOverTheVideo) {
    select(QStringLiteral("under-popup"));
    ContentView* content = window_->content();
    ASSERT_TRUE(waitUntil([&] { return content->videoView() && content->videoView()->framesRendered() > 0; }, 10000));
    content->toolbarView()->setShowVolume(true);
    auto* popup = window_->findChild<QFrame*>(QStringLiteral("volumePopup"));
    ASSERT_TRUE(popup && waitUntil([&] { return popup->isVisible(); }));
    waitUntil([] { return false; }, 300);

    // Where the popup lies over the video, the screen shows the popup, not the movie.
    const QRect popupArea(popup->mapToGlobal(QPoint(0, 0)), popup->size());
    const QRect videoArea(content->videoView()->mapToGlobal(QPoint(0, 0)), content->videoView()->size());
    const QRect overlap = popupArea.intersected(videoArea);
    ASSERT_GE(overlap.height(), 4) << "the popup no longer lies over the video";
    const QImage screen = QGuiApplication::primaryScreen()
                              ->grabWindow(0, overlap.x(), overlap.y(), overlap.width(), overlap.height())
                              .toImage()
                              .convertToFormat(QImage::Format_RGB32);
    const QImage own = popup->grab(QRect(overlap.topLeft() - popupArea.topLeft(), overlap.size()))
                           .toImage()
                           .convertToFormat(QImage::Format_RGB32);
    ASSERT_EQ(screen.size(), own.size());
    int same = 0;
    for (int y = 0; y < own.height(); ++y)
        for (int x = 0; x < own.width(); ++x) {
            const QRgb a = screen.pixel(x, y), b = own.pixel(x, y);
            same += std::max({std::abs(qRed(a) - qRed(b)), std::abs(qGreen(a) - qGreen(b)),
                              std::abs(qBlue(a) - qBlue(b))}) <= 24;
        }
    EXPECT_GT(same, own.width() * own.height() * 9 / 10);
}

TEST_F(WindowFixture, SelectingAMarkSeeksOnceToItsStart) {
    select(QStringLiteral("marked"),
           "1\r\n00:00:01,250 --> 00:00:02,000\r\nMark: a\r\n\r\n2\r\n00:00:03,125 --> 00:00:04,000\r\nb\r\n");
    ASSERT_TRUE(waitUntil([&] { return window_->content()->player() != nullptr; }));
    Player* player = window_->content()->player();
    ASSERT_TRUE(waitUntil([&] { return player->isLoaded(); }, 10000));
    DetailView* panel = window_->detail();
    panel->setShowPanel(true);
    ASSERT_TRUE(waitUntil([&] { return panel->width() == DetailView::panelWidth; }));

    // Each jump is reported once it is done (mpv may also report the ones on the way).
    QList<double> reports;
    QObject context;
    QObject::connect(player, &Player::positionReported, &context, [&](double seconds) { reports << seconds; });
    const auto reportedNear = [&](double seconds) {
        return waitUntil([&] { return !reports.isEmpty() && std::abs(reports.last() - seconds) < 0.041; }, 5000);
    };

    IndexListView* list = panel->list();
    clickRow(list, 1);
    EXPECT_EQ(panel->selectedIndex(), 1);
    // The picture shown is the first frame at or after the mark (25 frames a second).
    ASSERT_TRUE(reportedNear(3.14)) << reports.last();

    // Clicking the selected row again does not seek: no jump is reported after the one to 0.5.
    player->seek(0.5);
    ASSERT_TRUE(reportedNear(0.5)) << reports.last();
    reports.clear();
    clickRow(list, 1);
    waitUntil([] { return false; }, 300);
    EXPECT_TRUE(reports.isEmpty()) << reports.first();
}

namespace {

// The window on a library of two movies, the newer one open with two marks, one of them
// not yet saved.
class UnsavedMarksFixture : public WindowFixture {
protected:
    void SetUp() override {
        ASSERT_TRUE(makeClip(older().toLocalFile(), ClipShape{2.0, QStringLiteral("64x48"), false}));
        QThread::msleep(1100);  // birth times a second apart order the library
        ASSERT_TRUE(makeClip(newer().toLocalFile(), ClipShape{2.0, QStringLiteral("64x48"), false}));
        ASSERT_TRUE(writeFile(sidecar_, "1\r\n00:00:00,500 --> 00:00:01,000\r\nMark: saved\r\n\r\n"));
        WindowFixture::SetUp();
        ASSERT_TRUE(waitUntil([] { return MoviesViewModel::shared().items().size() == 2; }));
        ASSERT_TRUE(waitUntil([this] { return window_->openMovie()->url() == newer(); }));
        window_->detail()->entry()->setText(QStringLiteral("Mark: unsaved"));
        window_->detail()->onAddButton();
        ASSERT_TRUE(window_->detail()->isModified());
    }

    // Names of this fixture's own, so that the shared library sees a new list each time.
    QUrl movie(const QString& name) const {
        return QUrl::fromLocalFile(
            folder_.filePath(name + QFileInfo(folder_.path()).fileName() + QStringLiteral(".mp4")));
    }
    QUrl newer() const { return movie(QStringLiteral("newer")); }
    QUrl older() const { return movie(QStringLiteral("older")); }
    int savedMarks() const { return SubtitleSRT::shared().readAll(QUrl::fromLocalFile(sidecar_))->size(); }
    QPoint rowCentre(IndexListView* list, int row) const {
        return list->visualRect(list->model()->index(row, 0)).center();
    }

    QString sidecar_ = replacingLastExtension(newer().toLocalFile(), QStringLiteral("srt"));
};

}  // namespace

TEST_F(UnsavedMarksFixture, HandOversDuringTheQuestionAreAskedOnceAndTheLatestWins) {
    const QString second = folder_.filePath(QStringLiteral("second-outside.mp4"));
    const QString third = folder_.filePath(QStringLiteral("third-outside.mp4"));
    ASSERT_TRUE(QFile::copy(older().toLocalFile(), second) && QFile::copy(older().toLocalFile(), third));
    // While the question of the first hand-over is open, two more arrive; then Discard.
    QStringList questions;
    QTimer answerer;
    QObject::connect(&answerer, &QTimer::timeout, &answerer, [&] {
        auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
        if (!box || box->property("answered").toBool())
            return;
        box->setProperty("answered", true);
        questions << box->text();
        window_->openFiles({second});
        window_->openFiles({third});
        box->button(QMessageBox::Discard)->click();
    });
    answerer.start(10);
    window_->openFiles({older().toLocalFile()});
    EXPECT_EQ(questions.size(), 1);
    EXPECT_EQ(window_->openMovie()->url(), QUrl::fromLocalFile(third));
    EXPECT_FALSE(window_->detail()->isModified());
}

TEST_F(UnsavedMarksFixture, TheLibraryByKeysArrowsLookReturnOpensAfterTheQuestion) {
    IndexListView* library = window_->sidebar()->list();
    library->setFocus(Qt::OtherFocusReason);
    const float volume = window_->content()->player()->volume();
    pressKey(Qt::Key_Down);
    QCoreApplication::processEvents();
    // The highlight moved; nothing opened and the volume stayed.
    EXPECT_EQ(library->currentIndex().row(), 1);
    EXPECT_EQ(window_->openMovie()->url(), newer());
    EXPECT_EQ(window_->content()->player()->volume(), volume);

    MessageBoxAnswerer answerer(QMessageBox::Discard);
    pressKey(Qt::Key_Return);
    ASSERT_TRUE(waitUntil([&] { return window_->openMovie()->url() == older(); }));
    EXPECT_EQ(answerer.texts.size(), 1);
    EXPECT_EQ(drawnSelection(library), QList<int>{1});
}

TEST_F(UnsavedMarksFixture, TheFilterFieldLeadsIntoTheResultsAndOpensTheFirst) {
    window_->sidebar()->focusFilter();
    QTest::keyClicks(window_->sidebar()->filterField(), QStringLiteral("older"));
    ASSERT_TRUE(waitUntil([&] { return window_->sidebar()->list()->model()->rowCount() == 1; }));
    MessageBoxAnswerer answerer(QMessageBox::Discard);
    pressKey(Qt::Key_Return);
    ASSERT_TRUE(waitUntil([&] { return window_->openMovie()->url() == older(); }));
    EXPECT_EQ(answerer.texts.size(), 1);

    window_->sidebar()->focusFilter();
    pressKey(Qt::Key_Down);
    EXPECT_TRUE(window_->sidebar()->list()->hasFocus());
}

TEST_F(UnsavedMarksFixture, PickingAnotherMovieAsksAndEachAnswerDoesWhatItSays) {
    struct Case {
        QMessageBox::StandardButton answer;
        QUrl open;        // the movie open afterwards
        int saved;        // marks in the sidecar afterwards
        int highlighted;  // the library row highlighted afterwards
    };
    const Case cases[] = {
        {QMessageBox::Cancel, newer(), 1, 0},
        {QMessageBox::Discard, older(), 1, 1},
    };
    IndexListView* library = window_->sidebar()->list();
    for (const Case& c : cases) {
        SCOPED_TRACE(int(c.answer));
        MessageBoxAnswerer answerer(c.answer);
        clickRow(library, 1);
        EXPECT_EQ(answerer.texts.size(), 1);
        EXPECT_EQ(window_->openMovie()->url(), c.open);
        EXPECT_EQ(savedMarks(), c.saved);
        EXPECT_EQ(window_->sidebar()->selectedIndex(), c.highlighted);
        // What is drawn: the press must not leave the clicked row highlighted after Cancel.
        EXPECT_EQ(drawnSelection(library), QList<int>{c.highlighted});
        EXPECT_EQ(library->currentIndex().row(), c.highlighted);
    }
}

TEST_F(UnsavedMarksFixture, SaveWritesTheMarksBeforeTheOtherMovieOpens) {
    MessageBoxAnswerer answerer(QMessageBox::Save);
    IndexListView* library = window_->sidebar()->list();
    clickRow(library, 1);
    EXPECT_EQ(answerer.texts.size(), 1);
    EXPECT_EQ(savedMarks(), 2);
    EXPECT_EQ(window_->openMovie()->url(), older());
    EXPECT_FALSE(window_->detail()->isModified());
}

TEST_F(UnsavedMarksFixture, QuittingAsksAndCancelKeepsTheWindow) {
    const struct {
        QMessageBox::StandardButton answer;
        bool closed;
        int saved;
    } cases[] = {{QMessageBox::Cancel, false, 1}, {QMessageBox::Save, true, 2}};
    for (const auto& c : cases) {
        SCOPED_TRACE(int(c.answer));
        MessageBoxAnswerer answerer(c.answer);
        window_->close();
        EXPECT_EQ(answerer.texts.size(), 1);
        EXPECT_EQ(window_->isVisible(), !c.closed);
        EXPECT_EQ(savedMarks(), c.saved);
    }
    // Nothing left unsaved: closing asks nothing.
    window_->show();
    MessageBoxAnswerer answerer(QMessageBox::Cancel);
    window_->close();
    EXPECT_TRUE(answerer.texts.isEmpty());
}

TEST_F(UnsavedMarksFixture, ARightPressOnAnotherRowOfEitherListChangesNothing) {
    DetailView* panel = window_->detail();
    panel->setShowPanel(true);
    ASSERT_TRUE(waitUntil([&] { return panel->width() == DetailView::panelWidth; }));
    panel->setSelectedIndex(0);
    MessageBoxAnswerer answerer(QMessageBox::Discard);
    for (IndexListView* list : {window_->sidebar()->list(), panel->list()}) {
        const auto before = list->selectedIndex();
        QTest::mousePress(list->viewport(), Qt::RightButton, {}, rowCentre(list, 1));
        QTest::mouseRelease(list->viewport(), Qt::RightButton, {}, rowCentre(list, 1));
        EXPECT_EQ(list->selectedIndex(), before);
        EXPECT_EQ(list->currentIndex().row(), *before);
    }
    EXPECT_TRUE(answerer.texts.isEmpty());
    EXPECT_EQ(window_->openMovie()->url(), newer());
    EXPECT_TRUE(panel->isModified());
}

TEST_F(UnsavedMarksFixture, FilteringTheLibraryAsksNothingAndOpensNothing) {
    MessageBoxAnswerer answerer(QMessageBox::Discard);
    QLineEdit* field = window_->sidebar()->filterField();
    const QString older = QFileInfo(this->older().toLocalFile()).completeBaseName();
    for (const QString& text : {older, QStringLiteral("nothing like it"), QString()}) {
        field->setText(text);
        EXPECT_EQ(window_->openMovie()->url(), newer());
    }
    EXPECT_TRUE(answerer.texts.isEmpty());
    EXPECT_TRUE(window_->detail()->isModified());
}

TEST_F(UnsavedMarksFixture, DeletingAMarkTakesItsTickOffTheTimeline) {
    VideoSliderCell& cell = window_->content()->toolbarView()->cell();
    // The saved mark and the one added at 0 s, drawn once the movie's length is known.
    ASSERT_TRUE(waitUntil([&] { return cell.list.size() == 2; })) << cell.list.size();
    window_->detail()->setSelectedIndex(0);
    window_->detail()->deleteText(0);
    EXPECT_EQ(cell.list.size(), 1);
}

TEST_F(WindowFixture, AnotherMovieStartsAtZeroWhateverTheOldOneReportsLate) {
    select(QStringLiteral("first"));
    ASSERT_TRUE(waitUntil([&] { return window_->content()->player() != nullptr; }));
    Player* player = window_->content()->player();
    ASSERT_TRUE(waitUntil([&] { return player->isLoaded(); }, 10000));
    player->seek(2.5);
    player->play();
    ASSERT_TRUE(waitUntil([&] { return window_->content()->toolbarView()->playTime() >= 2.5; }, 10000));

    // A movie that cannot be opened: nothing of the old one may show or be used for a mark.
    const QString broken = folder_.filePath(QStringLiteral("broken.mp4"));
    ASSERT_TRUE(writeFile(broken, "not a movie"));
    window_->openMovie()->open(VideoItem(QUrl::fromLocalFile(broken), QStringLiteral(""), QStringLiteral("broken"),
                                         QStringLiteral(""), ItemColor::white, 4.0));
    waitUntil([&] { return !player->error().isEmpty(); }, 5000);
    waitUntil([] { return false; }, 300);
    EXPECT_EQ(window_->content()->toolbarView()->playTime(), 0);
    EXPECT_EQ(window_->content()->toolbarView()->doubleValue(), 0);
    EXPECT_EQ(window_->detail()->seconds(), 0);
}

TEST_F(WindowFixture, AnOpenMovieThatGrowsOnDiskPlaysToItsNewEnd) {
    const QString path =
        folder_.filePath(QStringLiteral("growing") + QFileInfo(folder_.path()).fileName() + QStringLiteral(".mp4"));
    const QString longer = folder_.filePath(QStringLiteral("longer.part"));
    ASSERT_TRUE(makeClip(path, ClipShape{1.0, QStringLiteral("64x48"), false}));
    ASSERT_TRUE(makeClip(longer, ClipShape{3.0, QStringLiteral("64x48"), false}));
    MoviesViewModel::shared().refresh();
    ASSERT_TRUE(waitUntil([&] { return window_->openMovie()->url() == QUrl::fromLocalFile(path); }));
    ASSERT_TRUE(
        waitUntil([&] { return window_->content()->player() && window_->content()->player()->isLoaded(); }, 10000));

    // The copy finishes: the same file now holds the whole movie.
    QFile source(longer);
    ASSERT_TRUE(source.open(QIODevice::ReadOnly));
    ASSERT_TRUE(writeFile(path, source.readAll()));
    ASSERT_TRUE(waitUntil([&] { return window_->openMovie()->length() > 2.9; }, 10000));
    EXPECT_NEAR(window_->content()->toolbarView()->duration(), 3.0, 0.1);
    Player* player = window_->content()->player();
    EXPECT_NEAR(player->currentItem()->range.duration.seconds(), 3.0, 0.1);
    player->seek(2.5);
    EXPECT_TRUE(waitUntil([&] { return player->currentTime() > 2.4; }, 5000)) << player->currentTime();
}

TEST_F(WindowFixture, FullScreenShowsOnlyTheVideoAndRestoresThePanes) {
    select(QStringLiteral("wide"));
    window_->detail()->setShowPanel(true);
    ASSERT_TRUE(waitUntil([&] { return window_->detail()->width() == DetailView::panelWidth; }));
    auto* toolbar = window_->findChild<QToolBar*>(QStringLiteral("toolbar"));
    ASSERT_NE(toolbar, nullptr);

    // F, then Esc; a double-click on the video, then another.
    const std::function<void()> enter[] = {
        [&] { pressKey(Qt::Key_F); }, [&] { QTest::mouseDClick(window_->content()->videoView(), Qt::LeftButton); }};
    const std::function<void()> leave[] = {
        [&] { pressKey(Qt::Key_Escape); },
        [&] { QTest::mouseDClick(window_->content()->videoView(), Qt::LeftButton); }};
    for (int i = 0; i < 2; ++i) {
        SCOPED_TRACE(i);
        enter[i]();
        EXPECT_TRUE(window_->isFullScreenVideo());
        EXPECT_TRUE(window_->windowState() & Qt::WindowFullScreen);
        EXPECT_FALSE(toolbar->isVisible());
        EXPECT_FALSE(window_->menuBar()->isVisible());
        EXPECT_FALSE(window_->sidebar()->isVisible());
        EXPECT_FALSE(window_->detail()->isVisible());
        EXPECT_TRUE(window_->content()->isVisible());

        // The pointer hides while it rests over the video, and comes back when it moves.
        EXPECT_TRUE(waitUntil([&] { return window_->content()->cursor().shape() == Qt::BlankCursor; }, 10000));
        QTest::mouseMove(window_->content()->videoView(), QPoint(20 + 40 * i, 20));
        EXPECT_TRUE(waitUntil([&] { return window_->content()->cursor().shape() != Qt::BlankCursor; }));

        leave[i]();
        EXPECT_FALSE(window_->isFullScreenVideo());
        EXPECT_FALSE(window_->windowState() & Qt::WindowFullScreen);
        EXPECT_TRUE(toolbar->isVisible());
        EXPECT_TRUE(window_->sidebar()->isVisible());
        EXPECT_TRUE(window_->detail()->showPanel());
        EXPECT_TRUE(waitUntil([&] { return window_->detail()->width() == DetailView::panelWidth; }));
    }
}

TEST_F(WindowFixture, KeysMoveBetweenMarksFocusTheEntryAndStepTheVolume) {
    select(QStringLiteral("keys"),
           "1\r\n00:00:01,000 --> 00:00:01,500\r\nMark: one\r\n\r\n"
           "2\r\n00:00:02,000 --> 00:00:02,500\r\nMark: two\r\n\r\n");
    ASSERT_TRUE(
        waitUntil([&] { return window_->content()->player() && window_->content()->player()->isLoaded(); }, 10000));
    DetailView* panel = window_->detail();
    Player* player = window_->content()->player();
    // Each key as a user presses it: once the jump before it is done and reported.
    const struct {
        Qt::Key key;
        int mark;
        double start;
    } steps[] = {{Qt::Key_PageDown, 0, 1.0}, {Qt::Key_PageDown, 1, 2.0}, {Qt::Key_PageUp, 0, 1.0}};
    for (const auto& step : steps) {
        pressKey(step.key);
        EXPECT_EQ(panel->selectedIndex(), step.mark);
        EXPECT_TRUE(waitUntil([&] { return std::abs(player->currentTime() - step.start) < 0.05; }));
        EXPECT_TRUE(waitUntil([&] { return std::abs(panel->seconds() - step.start) < 0.05; }));
    }

    VideoToolbarView* transport = window_->content()->toolbarView();
    const double volume = transport->volumeValue();
    pressKey(Qt::Key_Down);
    EXPECT_NEAR(transport->volumeValue(), volume - 0.05, 1e-9);
    EXPECT_NEAR(user().value("volume").toDouble(), volume - 0.05, 1e-9);
    pressKey(Qt::Key_Up);
    EXPECT_NEAR(transport->volumeValue(), volume, 1e-9);

    pressKey(Qt::Key_M);
    EXPECT_TRUE(panel->showPanel());
    EXPECT_TRUE(panel->entry()->hasFocus());
    pressKey(Qt::Key_F);  // typed into the focused entry, not full screen
    EXPECT_EQ(panel->entry()->text(), QStringLiteral("f"));
    EXPECT_FALSE(window_->isFullScreenVideo());

    MessageBoxAnswerer answerer(QMessageBox::Close);
    pressKey(Qt::Key_F1);
    ASSERT_EQ(answerer.texts.size(), 1);
    EXPECT_TRUE(answerer.texts.first().contains(QStringLiteral("Page Up")));
}

TEST_F(WindowFixture, DroppedMoviesOpenAndOtherFilesAreRefused) {
    // Upper case, as cameras write it: opened, and listed in the library like any movie.
    const QString movie = folder_.filePath(QStringLiteral("dropped.MOV"));
    ASSERT_TRUE(makeClip(movie, ClipShape{1.0, QStringLiteral("64x48"), false}));
    const QString text = folder_.filePath(QStringLiteral("notes.txt"));
    ASSERT_TRUE(writeFile(text, "not a movie"));
    const auto drag = [&](const QString& path, QEvent::Type type) {
        QMimeData data;
        data.setUrls({QUrl::fromLocalFile(path)});
        const QPoint centre = window_->rect().center();
        if (type == QEvent::DragEnter) {
            QDragEnterEvent event(centre, Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
            QApplication::sendEvent(window_.get(), &event);
            return event.isAccepted();
        }
        QDropEvent event(centre, Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
        QApplication::sendEvent(window_.get(), &event);
        return event.isAccepted();
    };
    EXPECT_FALSE(drag(text, QEvent::DragEnter));
    EXPECT_TRUE(drag(movie, QEvent::DragEnter));
    EXPECT_TRUE(drag(movie, QEvent::Drop));
    EXPECT_TRUE(waitUntil([&] { return window_->openMovie()->url() == QUrl::fromLocalFile(movie); }));
    // Opened before its length was measured; the timeline gets the length when it comes.
    EXPECT_TRUE(waitUntil([&] { return window_->content()->toolbarView()->duration() > 0.9; }));
    EXPECT_NEAR(window_->openMovie()->length(), 1.0, 0.1);
    EXPECT_TRUE(waitUntil(
        [&] {
            const auto& items = MoviesViewModel::shared().items();
            return std::any_of(items.cbegin(), items.cend(),
                               [&](const VideoItem& item) { return item.url() == QUrl::fromLocalFile(movie); });
        },
        10000));
}

TEST_F(WindowFixture, AMovieOpensWhereTheUserLeftItUnlessResumeIsOff) {
    // Positions within 5 s of either end are not kept: the movies are 20 s long.
    const auto movie = [&](const QString& name) {
        const QString path = folder_.filePath(name + QStringLiteral(".mp4"));
        EXPECT_TRUE(makeClip(path, ClipShape{20.0, QStringLiteral("64x48"), false}));
        return VideoItem(QUrl::fromLocalFile(path), QString(), name, QString(), ItemColor::white, 20.0);
    };
    const VideoItem resumed = movie(QStringLiteral("resumed"));
    const VideoItem other = movie(QStringLiteral("other"));
    auto* resume = window_->findChild<QAction*>(QStringLiteral("resumeAction"));
    ASSERT_NE(resume, nullptr);
    // Opened, and the player has told the position it opened at.
    const auto open = [&](const VideoItem& item) {
        window_->openMovie()->open(item);
        Player* player = window_->content()->player();
        QSignalSpy reported(player, &Player::positionReported);
        return waitUntil([&] { return player->isLoaded() && !reported.isEmpty(); }, 10000);
    };

    // Picking another movie remembers the position; coming back opens there, or at 0 when off.
    for (const bool on : {true, false}) {
        SCOPED_TRACE(on);
        resume->setChecked(on);
        ASSERT_TRUE(open(resumed));
        Player* player = window_->content()->player();
        player->seek(8.0);
        ASSERT_TRUE(waitUntil([&] { return std::abs(player->currentTime() - 8.0) < 0.05; }));
        ASSERT_TRUE(open(other));
        ASSERT_TRUE(open(resumed));
        EXPECT_NEAR(player->currentTime(), on ? 8.0 : 0.0, 0.05);
    }
    resume->setChecked(true);
}

TEST_F(WindowFixture, ALargeSidecarsMarksAndSubtitlesComeInAfterThePick) {
    const QString path = folder_.filePath(QStringLiteral("large.mp4"));
    ASSERT_TRUE(makeClip(path, ClipShape{4.0, QStringLiteral("160x120"), true}));
    QByteArray srt =
        "1\r\n00:00:01,000 --> 00:00:03,000\r\nMark: early\r\n\r\n"
        "2\r\n00:00:02,500 --> 00:00:03,500\r\nDeath: hero (F)\r\n\r\n";
    int cues = 2;
    for (; srt.size() <= SidecarLoader::largeFileBytes; ++cues)  // after the movie's end
        srt += "1\r\n00:20:00,000 --> 00:20:01,000\r\nMark: later " + QByteArray::number(cues) + "\r\n\r\n";
    ASSERT_TRUE(writeFile(folder_.filePath(QStringLiteral("large.srt")), srt));
    DetailView* panel = window_->detail();
    panel->setShowPanel(true);

    window_->sidebar()->openVideoItem(VideoItem(QUrl::fromLocalFile(path), QStringLiteral(""), QStringLiteral("large"),
                                                QStringLiteral(""), ItemColor::white, 4.0));
    Player* player = window_->content()->player();
    ASSERT_NE(player, nullptr);
    EXPECT_TRUE(SubtitlesViewModel::shared().isLoading());
    EXPECT_FALSE(panel->entry()->isEnabled());
    EXPECT_FALSE(player->isOpening() || player->isLoaded());  // it waits for the subtitle file
    // A seek asked for meanwhile is where the movie opens.
    QList<double> reports;
    QObject context;
    QObject::connect(player, &Player::positionReported, &context, [&](double seconds) { reports << seconds; });
    player->seek(2.75);

    ASSERT_TRUE(waitUntil([&] { return player->isLoaded(); }, 30000));
    EXPECT_EQ(panel->list()->model()->rowCount(), cues);
    EXPECT_TRUE(panel->entry()->isEnabled());
    EXPECT_TRUE(player->currentItem()->hasSubtitles);
    EXPECT_EQ(QFileInfo(player->currentItem()->subtitlePath).suffix(), QStringLiteral("mks"));
    EXPECT_TRUE(waitUntil([&] { return !reports.isEmpty() && std::abs(reports.last() - 2.75) < 0.05; }))
        << (reports.isEmpty() ? -1 : reports.last());
    // The mark and the death note on the timeline; the cues after the movie's end are not.
    const VideoSliderCell& cell = window_->content()->toolbarView()->cell();
    ASSERT_EQ(cell.list.size(), 2);
    EXPECT_EQ(cell.list[0].value, VideoSliderCell::gray);
    EXPECT_EQ(cell.list[1].value, VideoSliderCell::green);
}

TEST_F(WindowFixture, CtrlFFiltersTheLibraryAndNextAndPreviousKeepToTheShownMovies) {
    // Names of this test's own, so that the shared library sees a new list.
    const QString tag = QFileInfo(folder_.path()).fileName();
    const auto url = [&](const QString& name) {
        return QUrl::fromLocalFile(folder_.filePath(name + tag + QStringLiteral(".mp4")));
    };
    for (const QString& name : {QStringLiteral("red-b"), QStringLiteral("blue"), QStringLiteral("red-a")}) {
        ASSERT_TRUE(makeClip(url(name).toLocalFile(), ClipShape{1.0, QStringLiteral("64x48"), false}));
        QThread::msleep(1100);  // birth times a second apart order the library
    }
    MoviesViewModel::shared().refresh();
    ASSERT_TRUE(waitUntil([] { return MoviesViewModel::shared().items().size() == 3; }));
    ASSERT_TRUE(waitUntil([&] { return window_->openMovie()->url() == url(QStringLiteral("red-a")); }));

    SidebarView* sidebar = window_->sidebar();
    sidebar->setShowTabs(false);
    pressKey(Qt::Key_F, Qt::ControlModifier);
    EXPECT_TRUE(sidebar->showTabs());
    EXPECT_TRUE(sidebar->filterField()->hasFocus());
    EXPECT_FALSE(window_->isFullScreenVideo());
    pressKey(Qt::Key_R);
    pressKey(Qt::Key_E);
    pressKey(Qt::Key_D);
    EXPECT_EQ(sidebar->filterField()->text(), QStringLiteral("red"));
    EXPECT_EQ(sidebar->list()->model()->rowCount(), 2);

    // The media controls' Next and Previous step over the movie the filter hides.
    auto* mpris = window_->findChild<MprisService*>();
    ASSERT_NE(mpris, nullptr);
    const struct {
        bool next;
        QString open;
    } steps[] = {{true, QStringLiteral("red-b")}, {true, QStringLiteral("red-b")}, {false, QStringLiteral("red-a")}};
    for (const auto& step : steps) {
        SCOPED_TRACE(step.open.toStdString());
        if (step.next)
            Q_EMIT mpris->nextRequested();
        else
            Q_EMIT mpris->previousRequested();
        EXPECT_EQ(window_->openMovie()->url(), url(step.open));
    }

    // Esc in the field clears it: all three are shown again, and the window stays as it is.
    pressKey(Qt::Key_Escape);
    EXPECT_TRUE(sidebar->filterField()->text().isEmpty());
    EXPECT_EQ(sidebar->list()->model()->rowCount(), 3);
    EXPECT_TRUE(sidebar->filterField()->hasFocus());
}

TEST_F(WindowFixture, QuickArrowPressesAddUpAndSpaceAtTheEndPlaysAgain) {
    const QString path = folder_.filePath(QStringLiteral("long.mp4"));
    ASSERT_TRUE(makeClip(path, ClipShape{40.0, QStringLiteral("64x48"), false}));
    window_->openMovie()->open(
        VideoItem(QUrl::fromLocalFile(path), QString(), QStringLiteral("long"), QString(), ItemColor::white, 40.0));
    Player* player = window_->content()->player();
    ASSERT_TRUE(
        waitUntil([&] { return player->isLoaded() && window_->content()->videoView()->framesRendered() > 0; }, 10000));

    // Three presses 20 ms apart: each goes on from where the one before goes.
    for (int i = 0; i < 3; ++i) {
        pressKey(Qt::Key_Right);
        QTest::qWait(20);
    }
    EXPECT_NEAR(window_->content()->toolbarView()->doubleValue(), 37.5, 0.01);  // the timeline follows at once
    ASSERT_TRUE(waitUntil([&] { return std::abs(player->currentTime() - 15.0) < 0.05; }, 10000))
        << player->currentTime();
    pressKey(Qt::Key_Left);
    ASSERT_TRUE(waitUntil([&] { return std::abs(player->currentTime() - 10.0) < 0.05; }, 10000))
        << player->currentTime();

    // Space at the end starts the movie over.
    player->seek(39.9);
    player->play();
    ASSERT_TRUE(waitUntil([&] { return player->isAtEnd(); }, 10000));
    pressKey(Qt::Key_Space);
    ASSERT_TRUE(waitUntil([&] { return player->isPlaying() && player->currentTime() < 5.0; }, 10000))
        << player->currentTime();
    player->pause();
}

// Run on the test display, and again on a 1024 x 600 screen and at scale factor 2 (see
// CMakeLists.txt).
TEST(WindowOnScreen, OpensCentredWithinTheScreenAndBothPanesFit) {
    global().setMoviesFolderOverride(testHome() + QStringLiteral("/no-library"));
    MainWindow window;
    window.placeOnScreen();
    window.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&window));
    const QRect area = window.screen()->availableGeometry();
    EXPECT_TRUE(area.contains(window.geometry())) << "window beyond the screen";
    EXPECT_LE(std::abs(window.geometry().center().x() - area.center().x()), 20);

    // Both panes shown: the window stays within the screen and every pane on it.
    window.sidebar()->setShowTabs(true);
    window.detail()->setShowPanel(true);
    ASSERT_TRUE(waitUntil([&] { return window.detail()->width() == DetailView::panelWidth; }));
    EXPECT_TRUE(area.contains(window.geometry())) << "showing the panel pushed the window off the screen";
    const QRect panel(window.detail()->mapTo(&window, QPoint(0, 0)), window.detail()->size());
    EXPECT_TRUE(window.rect().contains(panel)) << "the marks panel is cut off";
    EXPECT_GT(window.content()->width(), 0);
    // It can be made as small as a 1024 x 600 screen.
    EXPECT_LE(window.minimumSizeHint().width(), 1024);
    EXPECT_LE(window.minimumSizeHint().height(), 600);
    global().setMoviesFolderOverride({});
}

TEST_F(WindowFixture, CtrlMMutesAndTheWheelOverTheVideoStepsTheVolume) {
    const QString path = folder_.filePath(QStringLiteral("sound.mp4"));
    ASSERT_TRUE(makeClip(path, ClipShape{4.0, QStringLiteral("64x48"), true}));
    window_->openMovie()->open(
        VideoItem(QUrl::fromLocalFile(path), QString(), QStringLiteral("sound"), QString(), ItemColor::white, 4.0));
    Player* player = window_->content()->player();
    ASSERT_TRUE(waitUntil([&] { return player->isLoaded(); }, 10000));
    VideoToolbarView* transport = window_->content()->toolbarView();

    pressKey(Qt::Key_M, Qt::ControlModifier);
    EXPECT_TRUE(player->isMuted());
    EXPECT_EQ(transport->volumeIcon(), VideoToolbarView::volumeIcon(0.0));
    EXPECT_TRUE(window_->detail()->entry()->text().isEmpty()) << "Ctrl+M went to the mark entry";
    pressKey(Qt::Key_M, Qt::ControlModifier);
    EXPECT_FALSE(player->isMuted());

    transport->changeVolumeBy(-0.5);
    const float before = player->volume();
    VideoPlayerView* video = window_->content()->videoView();
    const QPointF centre(video->width() / 2.0, video->height() / 2.0);
    QWheelEvent up(centre, video->mapToGlobal(centre), {}, QPoint(0, 120), Qt::NoButton, Qt::NoModifier,
                   Qt::NoScrollPhase, false);
    QApplication::sendEvent(video, &up);
    EXPECT_NEAR(player->volume(), before + 0.05f, 0.001);
}

TEST_F(WindowFixture, ZeroAndNineStepTheVolumeAndKeysTellWhatTheyDidOverThePicture) {
    select(QStringLiteral("told"));
    Player* player = window_->content()->player();
    ASSERT_TRUE(waitUntil([&] { return player && player->isLoaded(); }, 10000));
    VideoToolbarView* transport = window_->content()->toolbarView();
    transport->changeVolumeBy(0.5 - transport->volumeValue());
    QSignalSpy told(player, &Player::messageShown);
    const struct {
        Qt::Key key;
        Qt::KeyboardModifiers modifiers;
        double volume;
        QString message;
    } presses[] = {
        {Qt::Key_9, Qt::NoModifier, 0.45, QStringLiteral("Volume 45 %")},
        {Qt::Key_0, Qt::NoModifier, 0.5, QStringLiteral("Volume 50 %")},
        {Qt::Key_M, Qt::ControlModifier, 0.5, QStringLiteral("Mute")},
        {Qt::Key_0, Qt::NoModifier, 0.55, QStringLiteral("Volume 55 % (muted)")},
        {Qt::Key_M, Qt::ControlModifier, 0.55, QStringLiteral("Volume 55 %")},
        {Qt::Key_BracketRight, Qt::NoModifier, 0.55, QStringLiteral("Speed 1.25\u00d7")},
        {Qt::Key_Backspace, Qt::NoModifier, 0.55, QStringLiteral("Speed 1\u00d7")},
        {Qt::Key_Right, Qt::NoModifier, 0.55, QStringLiteral("00:04 / 00:04")},
    };
    for (const auto& press : presses) {
        SCOPED_TRACE(press.message.toStdString());
        pressKey(press.key, press.modifiers);
        EXPECT_NEAR(transport->volumeValue(), press.volume, 1e-9);
        EXPECT_NEAR(player->volume(), press.volume, 1e-6);
        EXPECT_TRUE(waitUntil([&] { return !told.isEmpty() && told.last().first().toString() == press.message; }))
            << (told.isEmpty() ? std::string("nothing told") : told.last().first().toString().toStdString());
    }

    // A text field types the digits.
    pressKey(Qt::Key_M);
    ASSERT_TRUE(window_->detail()->entry()->hasFocus());
    pressKey(Qt::Key_0);
    pressKey(Qt::Key_9);
    EXPECT_EQ(window_->detail()->entry()->text(), QStringLiteral("09"));
    EXPECT_NEAR(transport->volumeValue(), 0.55, 1e-9);
}

TEST_F(WindowFixture, TheVolumeButtonsRightClickMenuMutesAndShowsTheSoundAsItIs) {
    select(QStringLiteral("mute-menu"));
    Player* player = window_->content()->player();
    ASSERT_TRUE(waitUntil([&] { return player && player->isLoaded(); }, 10000));
    VideoToolbarView* transport = window_->content()->toolbarView();
    auto* button = transport->findChild<QToolButton*>(QStringLiteral("volumeButton"));
    auto* menu = transport->findChild<QMenu*>(QStringLiteral("volumeMenu"));
    auto* mute = transport->findChild<QAction*>(QStringLiteral("muteAction"));
    ASSERT_TRUE(button && menu && mute);
    // A right-click as the window system delivers it; the menu's entry clicked.
    const auto openMenu = [&] {
        if (QApplication::activeWindow() != window_.get()) {
            window_->activateWindow();
            ASSERT_TRUE(QTest::qWaitForWindowActive(window_.get()));
        }
        QTest::mouseClick(window_->windowHandle(), Qt::RightButton, {},
                          button->mapTo(window_.get(), button->rect().center()));
        ASSERT_TRUE(waitUntil([&] { return menu->isVisible(); }));
    };
    const double volume = transport->volumeValue();

    openMenu();
    EXPECT_FALSE(mute->isChecked());
    QTest::mouseClick(menu, Qt::LeftButton, {}, menu->actionGeometry(mute).center());
    EXPECT_TRUE(waitUntil([&] { return !menu->isVisible(); }));
    EXPECT_TRUE(player->isMuted());
    EXPECT_EQ(transport->volumeIcon(), VideoToolbarView::volumeIcon(0.0));
    EXPECT_FALSE(transport->showVolume()) << "the right-click opened the volume pop-up";

    // Ctrl+M gave the sound back: the menu says so, and its entry mutes again.
    pressKey(Qt::Key_M, Qt::ControlModifier);
    ASSERT_FALSE(player->isMuted());
    openMenu();
    EXPECT_FALSE(mute->isChecked());
    QTest::mouseClick(menu, Qt::LeftButton, {}, menu->actionGeometry(mute).center());
    EXPECT_TRUE(player->isMuted());
    openMenu();
    EXPECT_TRUE(mute->isChecked());
    QTest::mouseClick(menu, Qt::LeftButton, {}, menu->actionGeometry(mute).center());
    EXPECT_FALSE(player->isMuted());
    EXPECT_DOUBLE_EQ(transport->volumeValue(), volume);
}

TEST_F(WindowFixture, InFullScreenAMoveShowsTheControlsAWhileThenTheyHideWithThePointer) {
    const QString path = folder_.filePath(QStringLiteral("full.mp4"));
    ASSERT_TRUE(makeClip(path, ClipShape{4.0, QStringLiteral("64x48"), false}));
    window_->openMovie()->open(
        VideoItem(QUrl::fromLocalFile(path), QString(), QStringLiteral("full"), QString(), ItemColor::white, 4.0));
    ASSERT_TRUE(waitUntil([&] { return window_->content()->player()->isLoaded(); }, 10000));
    auto* toolbar = window_->findChild<QToolBar*>(QStringLiteral("toolbar"));
    ASSERT_NE(toolbar, nullptr);
    window_->setFullScreenVideo(true);
    EXPECT_FALSE(toolbar->isVisible());

    VideoPlayerView* video = window_->content()->videoView();
    QMouseEvent move(QEvent::MouseMove, QPointF(20, 20), video->mapToGlobal(QPointF(20, 20)), Qt::NoButton,
                     Qt::NoButton, Qt::NoModifier);
    QApplication::sendEvent(video, &move);
    EXPECT_TRUE(toolbar->isVisible());
    EXPECT_TRUE(window_->content()->toolbarView()->timeline()->isVisible());
    // The pointer is away from the bar: both go after about 2 s.
    QCursor::setPos(video->mapToGlobal(QPoint(video->width() / 2, video->height() - 10)));
    ASSERT_TRUE(waitUntil([&] { return !toolbar->isVisible(); }, 5000));
    EXPECT_EQ(window_->content()->cursor().shape(), Qt::BlankCursor);
    window_->setFullScreenVideo(false);
    EXPECT_TRUE(toolbar->isVisible());
}

// X without a window manager, as a window manager that ignores the size hints: the window is
// made smaller than its minimum from outside.
TEST_F(WindowFixture, AWindowSmallerThanItsMinimumShrinksTheVideoNotTheMarksPane) {
    window_->sidebar()->setShowTabs(true);
    window_->detail()->setShowPanel(true);
    select(QStringLiteral("small"));
    ASSERT_TRUE(waitUntil([&] { return window_->content()->videoView() != nullptr; }, 20000));
    ASSERT_TRUE(waitUntil([&] { return window_->detail()->width() == DetailView::panelWidth; }));
    const QSize minimum = window_->minimumSizeHint();
    ASSERT_GT(minimum.width(), 600);
    ASSERT_EQ(
        QProcess::execute(QStringLiteral("xdotool"), {QStringLiteral("windowsize"), QString::number(window_->winId()),
                                                      QStringLiteral("600"), QStringLiteral("400")}),
        0);
    ASSERT_TRUE(waitUntil([&] { return window_->width() == 600; }));

    const auto inWindow = [&](const QWidget* widget) {
        return QRect(widget->mapTo(window_.get(), QPoint()), widget->size());
    };
    const QRect panel = inWindow(window_->detail());
    EXPECT_EQ(panel.width(), DetailView::panelWidth);
    EXPECT_TRUE(window_->rect().contains(panel)) << "the marks pane is cut off";
    EXPECT_FALSE(inWindow(window_->content()).intersects(panel)) << "the content lies over the marks pane";
    const QWindow* video = window_->content()->videoView()->videoWindow();
    ASSERT_NE(video, nullptr);
    EXPECT_FALSE(QRect(video->mapToGlobal(QPoint()) - window_->mapToGlobal(QPoint()), video->size()).intersects(panel))
        << "the video covers the marks pane";
    // Made large enough again, the video has its room back.
    window_->resize(1400, 800);
    EXPECT_TRUE(waitUntil([&] { return window_->content()->width() >= ContentView::minimumVideoSize.width(); }));
}
