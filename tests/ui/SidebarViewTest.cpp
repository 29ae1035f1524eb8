#include "TestEnv.h"
#include "TestMedia.h"
#include "core/AppState.h"
#include "core/Events.h"
#include "models/MoviesViewModel.h"
#include "models/SubtitlesViewModel.h"
#include "ui/SidebarView.h"

#include <QAction>
#include <QDir>
#include <QDirIterator>
#include <QElapsedTimer>
#include <QFile>
#include <QHBoxLayout>
#include <QLabel>
#include <QTabWidget>
#include <QTemporaryDir>
#include <QTest>
#include <QThread>
#include "MessageBoxes.h"
#include "ui/IndexListView.h"

#include <gtest/gtest.h>
#include <functional>

namespace {

// A movies folder of its own, a sidebar on screen, and a log of the movies it opened.
class SidebarFixture : public testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(folder_.isValid());
        global().setMoviesFolderOverride(folder_.path());
        QObject::connect(
            &notify(), &ApplicationEvents::videoSelected, &observer_,
            [this](const VideoItem& item) { opened_ << item.text; }, Qt::DirectConnection);
    }
    void TearDown() override { global().setMoviesFolderOverride({}); }

    // Adds a movie with a sidecar titled `title`; each one is born in a later second than the
    // one before, so the library lists them newest first.
    QString addMovie(const QString& file, const QString& title, const QByteArray& cues = {}) {
        if (lastBirth_.isValid())
            QThread::msleep(std::max<qint64>(0, 1100 - lastBirth_.elapsed()));
        const QString path = folder_.filePath(file);
        EXPECT_TRUE(makeClip(path, ClipShape{1.0, QStringLiteral("64x48"), false}));
        EXPECT_TRUE(writeFile(
            QFileInfo(path).path() + QStringLiteral("/") + QFileInfo(path).completeBaseName() + QStringLiteral(".srt"),
            "1\r\n00:00:00,000 --> 00:00:00,500\r\nStart: " + title.toUtf8() + "\r\n\r\n" + cues));
        lastBirth_.start();
        return path;
    }

    // The sidebar in a window with room beside it, as in the main window.
    // `beforeShow` runs once the sidebar exists, before its first refresh starts.
    void showSidebar(const std::function<void()>& beforeShow = {}) {
        host_ = std::make_unique<QWidget>();
        auto* layout = new QHBoxLayout(host_.get());
        sidebar_ = new SidebarView(host_.get());
        if (beforeShow)
            beforeShow();
        layout->addWidget(sidebar_);
        layout->addWidget(new QWidget(host_.get()), 1);
        host_->resize(800, 600);
        host_->show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(host_.get()));
    }

    // Runs one refresh of the current folder to its end; the library then shows `count` rows.
    void settle(int count) {
        MoviesViewModel& library = MoviesViewModel::shared();
        // A refresh may be under way already (the sidebar's own); the one asked for here runs
        // after it, and reads the folder as it is now.
        ASSERT_TRUE(waitUntil([&] { return !library.isRefreshing(); }, 30000));
        bool ended = false;
        QObject context;
        QObject::connect(&library, &MoviesViewModel::refreshed, &context, [&] { ended = true; });
        library.refresh();
        ASSERT_TRUE(waitUntil([&] { return ended; }, 30000));
        ASSERT_EQ(library.items().size(), count);
    }

    QStringList titles() const {
        QStringList list;
        for (const VideoItem& item : MoviesViewModel::shared().items())
            list << item.text;
        return list;
    }

    void clickRow(int row) {
        IndexListView* list = sidebar_->list();
        const QRect rect = list->visualRect(list->model()->index(row, 0));
        QTest::mouseClick(list->viewport(), Qt::LeftButton, {}, rect.center());
    }

    QTemporaryDir folder_{testHome() + QStringLiteral("/movies-XXXXXX")};
    QObject observer_;
    QStringList opened_;
    std::unique_ptr<QWidget> host_;
    SidebarView* sidebar_ = nullptr;
    QElapsedTimer lastBirth_;
};

}  // namespace

TEST_F(SidebarFixture, FirstPublicationOpensTheNewestMovie) {
    addMovie(QStringLiteral("old.mp4"), QStringLiteral("Old"));
    addMovie(QStringLiteral("new.mov"), QStringLiteral("New"));
    showSidebar();
    settle(2);
    EXPECT_EQ(titles(), (QStringList{QStringLiteral("New"), QStringLiteral("Old")}));
    EXPECT_EQ(sidebar_->selectedIndex(), 0);
    EXPECT_EQ(opened_, QStringList{QStringLiteral("New")});
    EXPECT_EQ(sidebar_->list()->currentIndex().row(), 0);
    // The subtitle list and the WebVTT file are ready before the announcement.
    EXPECT_FALSE(SubtitlesViewModel::shared().items().isEmpty());
    EXPECT_TRUE(QFile::exists(testHome() + QStringLiteral("/.cache/reelnook/new.vtt")));
}

TEST_F(SidebarFixture, ClicksOpenOnlyANewRow) {
    addMovie(QStringLiteral("a.mp4"), QStringLiteral("A"));
    addMovie(QStringLiteral("b.mp4"), QStringLiteral("B"));
    showSidebar();
    settle(2);
    opened_.clear();
    clickRow(1);
    EXPECT_EQ(opened_, QStringList{QStringLiteral("A")});
    clickRow(1);
    EXPECT_EQ(opened_, QStringList{QStringLiteral("A")});
    EXPECT_EQ(sidebar_->selectedText(), QStringLiteral("A"));

    // Only the selected row offers a context menu.
    IndexListView* list = sidebar_->list();
    const auto centre = [list](int row) { return list->visualRect(list->model()->index(row, 0)).center(); };
    EXPECT_EQ(list->selectedRowAt(centre(1)), 1);
    EXPECT_FALSE(list->selectedRowAt(centre(0)).has_value());
}

TEST_F(SidebarFixture, DeletingMovesTheSelectionAndOpensWhatItStandsOn) {
    addMovie(QStringLiteral("m0.mp4"), QStringLiteral("M0"));
    addMovie(QStringLiteral("m1.mp4"), QStringLiteral("M1"));
    addMovie(QStringLiteral("m2.mp4"), QStringLiteral("M2"));
    const QString doomed = addMovie(QStringLiteral("m3.mp4"), QStringLiteral("M3"));
    showSidebar();
    settle(4);
    EXPECT_EQ(titles(),
              (QStringList{QStringLiteral("M3"), QStringLiteral("M2"), QStringLiteral("M1"), QStringLiteral("M0")}));

    clickRow(3);  // M0
    opened_.clear();
    sidebar_->onDeleteFile(3);
    EXPECT_EQ(titles(), (QStringList{QStringLiteral("M3"), QStringLiteral("M2"), QStringLiteral("M1")}));
    EXPECT_EQ(sidebar_->selectedIndex(), 2);
    EXPECT_EQ(opened_, QStringList{QStringLiteral("M1")});
    EXPECT_FALSE(QFile::exists(folder_.filePath(QStringLiteral("m0.mp4"))));
    EXPECT_FALSE(QFile::exists(folder_.filePath(QStringLiteral("m0.srt"))));

    clickRow(0);  // M3
    opened_.clear();
    sidebar_->onDeleteFile(0);
    EXPECT_EQ(sidebar_->selectedIndex(), 0);
    EXPECT_EQ(opened_, QStringList{QStringLiteral("M2")});  // row 0 again, but another movie: it is opened
    EXPECT_FALSE(QFile::exists(doomed));

    // Only the selected row can be deleted.
    sidebar_->onDeleteFile(1);
    EXPECT_EQ(titles(), (QStringList{QStringLiteral("M2"), QStringLiteral("M1")}));

    // Both movies and their sidecars went to the temporary trash.
    QStringList trashed;
    for (QDirIterator it(testHome() + QStringLiteral("/.local/share/Trash/files")); it.hasNext();)
        trashed << QFileInfo(it.next()).fileName();
    EXPECT_TRUE(trashed.contains(QStringLiteral("m0.mp4")) && trashed.contains(QStringLiteral("m0.srt")) &&
                trashed.contains(QStringLiteral("m3.mp4")))
        << trashed.join(QStringLiteral(", ")).toStdString();
}

TEST_F(SidebarFixture, DeletingTheOnlyMovieEmptiesTheList) {
    addMovie(QStringLiteral("only.mp4"), QStringLiteral("Only"));
    showSidebar();
    settle(1);
    opened_.clear();
    sidebar_->onDeleteFile(0);
    EXPECT_TRUE(MoviesViewModel::shared().items().isEmpty());
    EXPECT_TRUE(opened_.isEmpty());
    settle(0);
    EXPECT_TRUE(opened_.isEmpty());
}

TEST_F(SidebarFixture, ANewFileMovesTheOpenMovieWithoutReopeningIt) {
    addMovie(QStringLiteral("first.mp4"), QStringLiteral("First"));
    showSidebar();
    settle(1);
    EXPECT_EQ(opened_, QStringList{QStringLiteral("First")});
    addMovie(QStringLiteral("second.mp4"), QStringLiteral("Second"));
    settle(2);
    EXPECT_EQ(titles(), (QStringList{QStringLiteral("Second"), QStringLiteral("First")}));
    EXPECT_EQ(sidebar_->selectedIndex(), 1);
    EXPECT_EQ(sidebar_->list()->currentIndex().row(), 1);
    EXPECT_EQ(opened_, QStringList{QStringLiteral("First")});
}

TEST_F(SidebarFixture, AVanishedTitleLeavesNoRowSelected) {
    addMovie(QStringLiteral("a.mp4"), QStringLiteral("A"));
    addMovie(QStringLiteral("b.mp4"), QStringLiteral("B"));
    showSidebar();
    settle(2);
    ASSERT_EQ(opened_, QStringList{QStringLiteral("B")});
    QFile::remove(folder_.filePath(QStringLiteral("b.mp4")));
    settle(1);
    EXPECT_FALSE(sidebar_->selectedIndex().has_value());
    EXPECT_FALSE(sidebar_->list()->currentIndex().isValid());
    EXPECT_EQ(opened_, QStringList{QStringLiteral("B")});
}

TEST_F(SidebarFixture, AFileFromOutsideOpensWithTheTabsHidden) {
    QTemporaryDir elsewhere;
    const QString path = elsewhere.filePath(QStringLiteral("clip.mkv"));
    ASSERT_TRUE(makeClip(path, ClipShape{1.0, QStringLiteral("64x48"), false}));
    showSidebar();
    const auto library = MoviesViewModel::shared().items();
    sidebar_->openExternalFile(QUrl::fromLocalFile(path));
    EXPECT_EQ(opened_, QStringList{QStringLiteral("clip")});
    EXPECT_FALSE(sidebar_->showTabs());
    EXPECT_EQ(MoviesViewModel::shared().items(), library);  // the library is left alone
    EXPECT_TRUE(waitUntil([&] { return sidebar_->width() == 0; }));
    sidebar_->toolbarAction()->trigger();
    EXPECT_TRUE(sidebar_->showTabs());
    EXPECT_TRUE(waitUntil([&] { return sidebar_->tabs()->isVisible() && sidebar_->width() == SidebarView::tabWidth; }));
}

TEST_F(SidebarFixture, AnEmptyLibraryExplainsWhereMoviesGo) {
    showSidebar();
    settle(0);
    auto* hint = sidebar_->findChild<QLabel*>(QStringLiteral("emptyLibraryHint"));
    ASSERT_NE(hint, nullptr);
    EXPECT_TRUE(hint->isVisible());
    EXPECT_TRUE(hint->text().contains(folder_.path()));
}

TEST_F(SidebarFixture, AMovieFromOutsideSurvivesEveryRefresh) {
    QTemporaryDir elsewhere;
    const QString outside = elsewhere.filePath(QStringLiteral("outside.mp4"));
    ASSERT_TRUE(makeClip(outside, ClipShape{1.0, QStringLiteral("64x48"), false}));
    addMovie(QStringLiteral("library.mp4"), QStringLiteral("Library"));
    // Opened before the first library is read, as a file argument is.
    showSidebar([&] { ASSERT_TRUE(sidebar_->openExternalFile(QUrl::fromLocalFile(outside))); });
    settle(1);
    addMovie(QStringLiteral("arrived.mp4"), QStringLiteral("Arrived"));
    settle(2);
    EXPECT_EQ(opened_, QStringList{QStringLiteral("outside")});
    EXPECT_FALSE(sidebar_->selectedIndex().has_value());

    // Handed over later, over a library movie: refreshes leave it open too.
    clickRow(0);
    ASSERT_TRUE(sidebar_->openExternalFile(QUrl::fromLocalFile(outside)));
    addMovie(QStringLiteral("later.mp4"), QStringLiteral("Later"));
    settle(3);
    EXPECT_EQ(opened_, (QStringList{QStringLiteral("outside"), QStringLiteral("Arrived"), QStringLiteral("outside")}));
    EXPECT_FALSE(sidebar_->selectedIndex().has_value());

    // Folders are no movies.
    EXPECT_FALSE(sidebar_->openExternalFile(QUrl::fromLocalFile(elsewhere.path())));
    EXPECT_EQ(opened_.size(), 3);
}

TEST_F(SidebarFixture, AFailedDeleteKeepsTheRowAndSaysWhy) {
    const QString kept = addMovie(QStringLiteral("kept.mp4"), QStringLiteral("Kept"));
    showSidebar();
    settle(1);
    // No trash can be made where the home trash should be.
    const QString trash = testHome() + QStringLiteral("/.local/share/Trash");
    QDir(trash).removeRecursively();
    ASSERT_TRUE(writeFile(trash, "a file, not the trash folder"));

    MessageBoxAnswerer answerer(QMessageBox::Ok);
    sidebar_->onDeleteFile(0);
    QFile::remove(trash);
    ASSERT_TRUE(QFile::exists(kept)) << "trashed after all";
    ASSERT_EQ(answerer.texts.size(), 1);
    EXPECT_TRUE(answerer.texts.first().contains(QStringLiteral("kept.mp4"))) << answerer.texts.first().toStdString();
    EXPECT_TRUE(QFile::exists(kept));
    EXPECT_TRUE(QFile::exists(folder_.filePath(QStringLiteral("kept.srt"))));
    EXPECT_EQ(titles(), QStringList{QStringLiteral("Kept")});
    EXPECT_EQ(sidebar_->selectedIndex(), 0);
}

TEST_F(SidebarFixture, DeletingAMovieKeepsTheSidecarAnotherMovieUses) {
    addMovie(QStringLiteral("twin.mov"), QStringLiteral("Twin"));
    addMovie(QStringLiteral("twin.mp4"), QStringLiteral("Twin"));
    showSidebar();
    settle(2);
    sidebar_->onDeleteFile(0);
    EXPECT_FALSE(QFile::exists(folder_.filePath(QStringLiteral("twin.mp4"))));
    EXPECT_TRUE(QFile::exists(folder_.filePath(QStringLiteral("twin.srt"))));
}
