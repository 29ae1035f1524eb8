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
#include "ui/SidebarView.h"

#include <QAction>
#include <QApplication>
#include <QMenu>
#include <QFrame>
#include "ui/IndexListView.h"
#include <QMenuBar>
#include <QTemporaryDir>
#include <QTest>
#include <gtest/gtest.h>

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
        const QString path = folder_.filePath(name + ".mp4");
        makeClip(path, ClipShape{4.0, "160x120", true});
        if (!srt.isEmpty())
            writeFile(folder_.filePath(name + ".srt"), srt);
        VideoItem item(QUrl::fromLocalFile(path), "", name, "", ItemColor::white, 4.0);
        SubtitlesViewModel::shared().load(QUrl::fromLocalFile(folder_.filePath(name + ".srt")), item.duration);
        notify().post(Events::videoSelected, QVariant::fromValue(item));
        return item;
    }

    QTemporaryDir folder_{testHome() + "/window-XXXXXX"};
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

    const auto separators = window_->findChildren<QFrame*>("paneSeparator");
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

TEST_F(WindowFixture, HelpMenuHoldsTheMakersAddressOnly) {
    const QList<QAction*> menus = window_->menuBar()->actions();
    ASSERT_EQ(menus.size(), 1);
    EXPECT_EQ(menus.first()->text(), "Help");
    ASSERT_EQ(menus.first()->menu()->actions().size(), 1);
    EXPECT_FALSE(menus.first()->menu()->actions().first()->text().isEmpty());
}

TEST_F(WindowFixture, DarkWhateverTheDesktopSays) {
    applyDarkTheme(*qApp);
    EXPECT_LT(qApp->palette().color(QPalette::Window).lightness(), 60);
    EXPECT_GT(qApp->palette().color(QPalette::WindowText).lightness(), 200);
}

TEST_F(WindowFixture, SelectingRecordsTheMovieAndPausesTheOldPlayerFirst) {
    const VideoItem first = select("first");
    EXPECT_EQ(global().movieURL, first.url);
    ASSERT_TRUE(waitUntil([&] { return window_->content()->player() != nullptr; }));
    Player* player = window_->content()->player();
    ASSERT_TRUE(waitUntil([&] { return player->isLoaded(); }, 10000));
    player->play();
    ASSERT_TRUE(waitUntil([&] { return player->isPlaying(); }));

    bool pausedBeforeAnnounced = false;
    QObject probe;
    notify().observe(Events::videoReady, &probe, [&](const QVariant&) { pausedBeforeAnnounced = !player->isPlaying(); });
    const VideoItem second = select("second");
    EXPECT_EQ(global().movieURL, second.url);
    EXPECT_TRUE(waitUntil([&] { return pausedBeforeAnnounced; }));
    EXPECT_EQ(window_->content()->url(), second.url);
}

TEST_F(WindowFixture, SelectingAMarkSeeksOnceToItsStart) {
    select("marked", "1\r\n00:00:01,250 --> 00:00:02,000\r\nMark: a\r\n\r\n2\r\n00:00:03,125 --> 00:00:04,000\r\nb\r\n");
    ASSERT_TRUE(waitUntil([&] { return window_->content()->player() != nullptr; }));
    Player* player = window_->content()->player();
    ASSERT_TRUE(waitUntil([&] { return player->isLoaded(); }, 10000));
    DetailView* panel = window_->detail();
    panel->setShowPanel(true);
    ASSERT_TRUE(waitUntil([&] { return panel->width() == DetailView::panelWidth; }));

    IndexListView* list = panel->list();
    QTest::mouseClick(list->viewport(), Qt::LeftButton, {}, list->visualRect(list->model()->index(1, 0)).center());
    EXPECT_EQ(panel->selectedIndex(), 1);
    // The picture shown is the first frame at or after the mark (25 frames a second).
    EXPECT_TRUE(waitUntil([&] { return std::abs(player->currentTime() - 3.14) < 0.025; }, 5000)) << player->currentTime();

    // Clicking the selected row again does not seek.
    player->seek(0.5);
    waitUntil([] { return false; }, 500);
    const double settled = player->currentTime();
    ASSERT_NEAR(settled, 0.5, 0.041);
    QTest::mouseClick(list->viewport(), Qt::LeftButton, {}, list->visualRect(list->model()->index(1, 0)).center());
    waitUntil([] { return false; }, 300);
    EXPECT_EQ(player->currentTime(), settled);
}
