#include "ListClicks.h"
#include "TestEnv.h"
#include "TestMedia.h"
#include "core/AppState.h"
#include "core/Events.h"
#include "models/MoviesViewModel.h"
#include "models/SubtitlesViewModel.h"
#include "ui/OpenMovie.h"
#include "ui/SidebarView.h"

#include <QAction>
#include <QDir>
#include <QDirIterator>
#include <QElapsedTimer>
#include <QFile>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QTabWidget>
#include <QTemporaryDir>
#include <QTest>
#include <QThread>
#include "MessageBoxes.h"
#include "models/MovieFilterModel.h"
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
        sidebar_ = new SidebarView(movie_, host_.get());
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

    void clickRow(int row) { ::clickRow(sidebar_->list(), row); }

    // The titles the list shows, top to bottom.
    QStringList shownTitles() const {
        QStringList list;
        const QAbstractItemModel* rows = sidebar_->list()->model();
        for (int row = 0; row < rows->rowCount(); ++row)
            list << rows->index(row, 0).data().toString();
        return list;
    }

    // Types `text` into the filter field as a user does, over what it holds.
    void typeFilter(const QString& text) {
        QLineEdit* field = sidebar_->filterField();
        field->selectAll();
        if (text.isEmpty())
            QTest::keyClick(field, Qt::Key_Backspace);
        // One key per character, accented ones too: a Latin-1 letter's key code is its capital.
        for (const QChar c : text)
            QTest::sendKeyEvent(QTest::Click, field, Qt::Key(c.toUpper().unicode()), QString(c), Qt::NoModifier);
    }

    // The title the list highlights; none when no row is.
    std::optional<QString> highlighted() const {
        const QModelIndex current = sidebar_->list()->currentIndex();
        if (!current.isValid() || !sidebar_->list()->selectionModel()->isSelected(current))
            return std::nullopt;
        return current.data().toString();
    }

    // A right click on the shown row `row`, and `entry` chosen from the menu it opens.
    void chooseFromContextMenu(int row, const QString& entry) {
        QTimer chooser;
        bool chosen = false;
        QObject::connect(&chooser, &QTimer::timeout, &chooser, [&] {
            auto* menu = qobject_cast<QMenu*>(QApplication::activePopupWidget());
            if (!menu || chosen)
                return;
            for (QAction* action : menu->actions())
                if (action->text() == entry) {
                    chosen = true;
                    menu->setActiveAction(action);
                    QTest::keyClick(menu, Qt::Key_Return);
                    return;
                }
        });
        chooser.start(10);
        IndexListView* list = sidebar_->list();
        const QPoint centre = list->visualRect(list->model()->index(row, 0)).center();
        QTest::mouseClick(host_->windowHandle(), Qt::RightButton, {}, list->viewport()->mapTo(host_.get(), centre));
        EXPECT_TRUE(waitUntil([&] { return chosen && !QApplication::activePopupWidget(); }));
    }

    QTemporaryDir folder_{testHome() + QStringLiteral("/movies-XXXXXX")};
    QObject observer_;
    QStringList opened_;
    OpenMovie movie_;
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
    // The folder is configured after the view is made, as the program reads its configuration.
    global().setMoviesFolderOverride({});
    showSidebar([&] { global().setMoviesFolderOverride(folder_.path()); });
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

TEST_F(SidebarFixture, TypingNarrowsTheListIgnoringCaseAndAccents) {
    addMovie(QStringLiteral("flore.mp4"), QStringLiteral("Café de Flore"));
    addMovie(QStringLiteral("cafeteria.mp4"), QStringLiteral("CAFETERIA"));
    addMovie(QStringLiteral("angstrom.mp4"), QStringLiteral("Ångström units"));
    addMovie(QStringLiteral("harbour.mp4"), QStringLiteral("Harbour walk"));
    showSidebar();
    settle(4);
    const QStringList all = titles();
    const QString flore = QStringLiteral("Café de Flore"), cafeteria = QStringLiteral("CAFETERIA"),
                  angstrom = QStringLiteral("Ångström units"), harbour = QStringLiteral("Harbour walk");
    ASSERT_EQ(all, (QStringList{harbour, angstrom, cafeteria, flore}));
    opened_.clear();

    const struct {
        QString typed;
        QStringList shown;
    } cases[] = {
        {QStringLiteral("cafe"), {cafeteria, flore}},
        {QStringLiteral("CAFÉ"), {cafeteria, flore}},
        {QStringLiteral("é"), {cafeteria, flore}},
        {QStringLiteral("angstrom"), {angstrom}},
        {QStringLiteral("ÅNGSTRÖM U"), {angstrom}},
        {QStringLiteral("  flore "), {flore}},
        {QStringLiteral("walk"), {harbour}},
        {QStringLiteral("a"), all},
        {QStringLiteral("zebra"), {}},
        {QString(), all},
    };
    auto* emptyHint = sidebar_->findChild<QLabel*>(QStringLiteral("emptyLibraryHint"));
    auto* noMatch = sidebar_->findChild<QLabel*>(QStringLiteral("noMatchHint"));
    ASSERT_TRUE(emptyHint && noMatch);
    for (const auto& c : cases) {
        SCOPED_TRACE(c.typed.toStdString());
        typeFilter(c.typed);
        EXPECT_EQ(sidebar_->filterField()->text(), c.typed);
        EXPECT_EQ(shownTitles(), c.shown);
        // An empty result is no empty library.
        EXPECT_FALSE(emptyHint->isVisible());
        EXPECT_EQ(noMatch->isVisible(), c.shown.isEmpty());
        EXPECT_EQ(sidebar_->list()->isVisible(), !c.shown.isEmpty());
    }
    EXPECT_TRUE(opened_.isEmpty());
    EXPECT_EQ(titles(), all);  // the library itself is left whole
}

TEST_F(SidebarFixture, EscClearsTheFilterThenHandsTheKeysToTheList) {
    addMovie(QStringLiteral("a.mp4"), QStringLiteral("Alpha"));
    addMovie(QStringLiteral("b.mp4"), QStringLiteral("Beta"));
    showSidebar();
    settle(2);
    host_->activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(host_.get()));
    QLineEdit* field = sidebar_->filterField();
    EXPECT_EQ(field->placeholderText(), QStringLiteral("Filter"));
    EXPECT_TRUE(field->isClearButtonEnabled());

    sidebar_->setShowTabs(false);
    sidebar_->focusFilter();
    EXPECT_TRUE(sidebar_->showTabs());
    ASSERT_TRUE(waitUntil([&] { return field->hasFocus(); }));
    QTest::keyClicks(field, QStringLiteral("alp"));
    EXPECT_EQ(shownTitles(), QStringList{QStringLiteral("Alpha")});

    QTest::keyClick(field, Qt::Key_Escape);
    EXPECT_TRUE(field->text().isEmpty());
    EXPECT_EQ(shownTitles(), (QStringList{QStringLiteral("Beta"), QStringLiteral("Alpha")}));
    EXPECT_TRUE(field->hasFocus());
    QTest::keyClick(field, Qt::Key_Escape);
    EXPECT_TRUE(waitUntil([&] { return sidebar_->list()->hasFocus(); }));
}

TEST_F(SidebarFixture, APickOnTheFilteredListOpensThatMovie) {
    addMovie(QStringLiteral("m0.mp4"), QStringLiteral("Red one"));
    addMovie(QStringLiteral("m1.mp4"), QStringLiteral("Blue one"));
    addMovie(QStringLiteral("m2.mp4"), QStringLiteral("Red two"));
    addMovie(QStringLiteral("m3.mp4"), QStringLiteral("Blue two"));
    showSidebar();
    settle(4);
    ASSERT_EQ(opened_, QStringList{QStringLiteral("Blue two")});
    typeFilter(QStringLiteral("red"));
    ASSERT_EQ(shownTitles(), (QStringList{QStringLiteral("Red two"), QStringLiteral("Red one")}));
    EXPECT_FALSE(highlighted().has_value());  // the open movie is not shown

    clickRow(1);
    EXPECT_EQ(opened_, (QStringList{QStringLiteral("Blue two"), QStringLiteral("Red one")}));
    EXPECT_EQ(sidebar_->selectedIndex(), 3);  // the library's row
    EXPECT_EQ(highlighted(), QStringLiteral("Red one"));
    EXPECT_EQ(sidebar_->selectedText(), QStringLiteral("Red one"));
    clickRow(1);  // the open one again: nothing
    EXPECT_EQ(opened_.size(), 2);
}

TEST_F(SidebarFixture, DeleteFileOnAFilteredRowTrashesThatMovieOnly) {
    addMovie(QStringLiteral("keep-red.mp4"), QStringLiteral("Red kept"));
    addMovie(QStringLiteral("blue.mp4"), QStringLiteral("Blue"));
    const QString doomed = addMovie(QStringLiteral("doomed-red.mp4"), QStringLiteral("Red doomed"));
    addMovie(QStringLiteral("green.mp4"), QStringLiteral("Green"));
    showSidebar();
    settle(4);
    typeFilter(QStringLiteral("red"));
    ASSERT_EQ(shownTitles(), (QStringList{QStringLiteral("Red doomed"), QStringLiteral("Red kept")}));
    clickRow(0);
    ASSERT_EQ(opened_.last(), QStringLiteral("Red doomed"));

    opened_.clear();
    chooseFromContextMenu(0, QStringLiteral("Delete File"));
    EXPECT_FALSE(QFile::exists(doomed));
    EXPECT_EQ(titles(), (QStringList{QStringLiteral("Green"), QStringLiteral("Blue"), QStringLiteral("Red kept")}));
    for (const QString& name :
         {QStringLiteral("keep-red.mp4"), QStringLiteral("blue.mp4"), QStringLiteral("green.mp4")})
        EXPECT_TRUE(QFile::exists(folder_.filePath(name))) << name.toStdString();
    // The open movie went: the shown row that takes its place opens, and the filter stays.
    EXPECT_EQ(opened_, QStringList{QStringLiteral("Red kept")});
    EXPECT_EQ(shownTitles(), QStringList{QStringLiteral("Red kept")});
    EXPECT_EQ(highlighted(), QStringLiteral("Red kept"));
    EXPECT_EQ(sidebar_->selectedIndex(), 2);
}

TEST_F(SidebarFixture, ARefreshWithANewFileKeepsTheFilterAndTheHighlight) {
    addMovie(QStringLiteral("old-red.mp4"), QStringLiteral("Red old"));
    addMovie(QStringLiteral("blue.mp4"), QStringLiteral("Blue"));
    showSidebar();
    settle(2);
    typeFilter(QStringLiteral("red"));
    clickRow(0);
    ASSERT_EQ(opened_.last(), QStringLiteral("Red old"));
    opened_.clear();

    addMovie(QStringLiteral("new-red.mp4"), QStringLiteral("Red new"));
    addMovie(QStringLiteral("green.mp4"), QStringLiteral("Green"));
    settle(4);
    EXPECT_EQ(sidebar_->filterField()->text(), QStringLiteral("red"));
    EXPECT_EQ(shownTitles(), (QStringList{QStringLiteral("Red new"), QStringLiteral("Red old")}));
    EXPECT_EQ(highlighted(), QStringLiteral("Red old"));
    EXPECT_EQ(sidebar_->selectedIndex(), 3);
    EXPECT_TRUE(opened_.isEmpty());
}

TEST_F(SidebarFixture, FilteringNeverOpensAMovieAndTheOpenOneComesBack) {
    addMovie(QStringLiteral("a.mp4"), QStringLiteral("Alpha"));
    addMovie(QStringLiteral("b.mp4"), QStringLiteral("Beta"));
    addMovie(QStringLiteral("c.mp4"), QStringLiteral("Gamma"));
    showSidebar();
    settle(3);
    clickRow(1);  // Beta
    ASSERT_EQ(opened_.last(), QStringLiteral("Beta"));
    int asked = 0;
    sidebar_->setLeaveCheck([&] {
        ++asked;
        return true;
    });
    opened_.clear();

    const struct {
        QString typed;
        std::optional<QString> highlighted;
    } steps[] = {
        {QStringLiteral("a"), QStringLiteral("Beta")}, {QStringLiteral("alpha"), std::nullopt},
        {QStringLiteral("zz"), std::nullopt},          {QStringLiteral("bet"), QStringLiteral("Beta")},
        {QStringLiteral("gam"), std::nullopt},         {QString(), QStringLiteral("Beta")},
    };
    for (const auto& step : steps) {
        SCOPED_TRACE(step.typed.toStdString());
        typeFilter(step.typed);
        EXPECT_EQ(highlighted(), step.highlighted);
        EXPECT_EQ(sidebar_->selectedIndex(), 1);  // still the open movie, shown or not
    }
    EXPECT_TRUE(opened_.isEmpty());
    EXPECT_EQ(asked, 0);
}

TEST_F(SidebarFixture, NeighboursAreTheShownRows) {
    addMovie(QStringLiteral("m0.mp4"), QStringLiteral("Red one"));
    addMovie(QStringLiteral("m1.mp4"), QStringLiteral("Blue one"));
    addMovie(QStringLiteral("m2.mp4"), QStringLiteral("Red two"));
    addMovie(QStringLiteral("m3.mp4"), QStringLiteral("Blue two"));
    showSidebar();
    settle(4);
    // Library rows: 0 Blue two, 1 Red two, 2 Blue one, 3 Red one.
    typeFilter(QStringLiteral("red"));
    const struct {
        int selected;
        std::optional<int> next, previous;
    } cases[] = {
        {1, 3, std::nullopt},  // shown, first of the shown
        {3, std::nullopt, 1},  // shown, last
        {0, 1, std::nullopt},  // hidden, before every shown one
        {2, 3, 1},             // hidden, between them
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.selected);
        sidebar_->selectRow(c.selected);
        ASSERT_EQ(sidebar_->selectedIndex(), c.selected);
        EXPECT_EQ(sidebar_->adjacentRow(+1), c.next);
        EXPECT_EQ(sidebar_->adjacentRow(-1), c.previous);
    }
    typeFilter(QString());
    EXPECT_EQ(sidebar_->adjacentRow(+1), 3);
    EXPECT_EQ(sidebar_->adjacentRow(-1), 1);
}
