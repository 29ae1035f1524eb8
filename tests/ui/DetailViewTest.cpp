#include "TestEnv.h"
#include "TestMedia.h"
#include "core/AppState.h"
#include "core/Events.h"
#include "core/WorkQueues.h"
#include "models/SubtitlesViewModel.h"
#include "subtitles/SubtitleSRT.h"
#include "subtitles/SubtitleText.h"
#include "ui/DetailView.h"
#include "ui/OpenMovie.h"

#include <QApplication>
#include <QClipboard>
#include <QFile>
#include <QFileInfo>
#include <QLineEdit>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>
#include "MessageBoxes.h"
#include "ui/IndexListView.h"

#include <gtest/gtest.h>
#include <QDir>
#include <QFileDialog>
#include <QHelpEvent>
#include <QLabel>
#include <QPushButton>
#include <QSemaphore>
#include <QThreadPool>
#include <QTimer>
#include <QToolTip>
#include <QUndoStack>
#include <functional>
#include <memory>
#include <utility>

namespace {

class DetailFixture : public testing::Test {
protected:
    void SetUp() override {
        movieURL_ = QUrl::fromLocalFile(folder_.filePath(QStringLiteral("Night.mp4")));
        ASSERT_TRUE(writeFile(movieURL_.toLocalFile(), "movie"));  // a save needs the movie beside it
        srt_ = folder_.filePath(QStringLiteral("Night.srt"));
        ASSERT_TRUE(writeFile(srt_,
                              "1\r\n00:00:05,000 --> 00:00:07,000\r\nMark: five\r\n\r\n"
                              "2\r\n00:00:20,000 --> 00:00:22,000\r\nDeath: Bob (E)\r\n\r\n"));
        SubtitlesViewModel::shared().load(QUrl::fromLocalFile(srt_), 100);
        QObject::connect(
            &notify(), &ApplicationEvents::refreshMarks, &observer_,
            [this](const SubtitleItem& item) { refreshed_ << item; }, Qt::DirectConnection);
        selectMovie();
        panel_.show();
    }

    void selectMovie() {
        movie_.open(VideoItem(movieURL_, QStringLiteral(""), QStringLiteral("Night"), QStringLiteral(""),
                              ItemColor::white, 100));
    }

    void report(double seconds) { Q_EMIT notify().videoCursorChanged(seconds); }

    QTemporaryDir folder_{testHome() + QStringLiteral("/detail-XXXXXX")};
    QUrl movieURL_;
    QString srt_;
    QObject observer_;
    QList<SubtitleItem> refreshed_;
    OpenMovie movie_;
    DetailView panel_{movie_};
};

}  // namespace

TEST_F(DetailFixture, ReturnAddsATrimmedGrayMarkAtTheReportedPosition) {
    report(12.5);
    panel_.setShowPanel(true);
    QTest::keyClicks(panel_.entry(), QStringLiteral("  hello  "));
    QTest::keyClick(panel_.entry(), Qt::Key_Return);

    const auto& items = SubtitlesViewModel::shared().items();
    ASSERT_EQ(items.size(), 3);
    const SubtitleItem& mark = items[1];  // between 5 s and 20 s
    EXPECT_EQ(mark.text, QStringLiteral("hello"));
    EXPECT_EQ(mark.stime, 12.5);
    EXPECT_EQ(mark.etime, 14.5);
    EXPECT_EQ(mark.color, ItemColor::gray);
    EXPECT_EQ(mark.duration, 100);
    EXPECT_TRUE(panel_.entry()->text().isEmpty());
    EXPECT_TRUE(panel_.isModified());
    ASSERT_EQ(refreshed_.size(), 1);
    EXPECT_EQ(refreshed_.first(), mark);
}

TEST_F(DetailFixture, BlankTextAddsNothing) {
    panel_.entry()->setText(QStringLiteral("   "));
    panel_.onAddButton();
    EXPECT_EQ(SubtitlesViewModel::shared().items().size(), 2);
    EXPECT_EQ(panel_.entry()->text(), QStringLiteral("   "));
    EXPECT_TRUE(refreshed_.isEmpty());
    EXPECT_FALSE(panel_.isModified());
}

TEST_F(DetailFixture, SavingWritesOnlyChangedListsBesideTheMovie) {
    QFile::remove(srt_);
    panel_.onSaveButton();  // nothing changed: nothing written
    EXPECT_FALSE(QFile::exists(srt_));

    report(30);
    panel_.entry()->setText(QStringLiteral("later"));
    panel_.onAddButton();
    panel_.onSaveButton();  // written on a worker
    ASSERT_TRUE(waitUntil([this] { return !movie_.isSaving(); }));
    EXPECT_FALSE(panel_.isModified());
    const auto saved = SubtitleSRT::shared().readAll(QUrl::fromLocalFile(srt_));
    ASSERT_TRUE(saved.has_value());
    ASSERT_EQ(saved->size(), 3);
    EXPECT_EQ((*saved)[2].text, QStringLiteral("later"));
    EXPECT_EQ((*saved)[2].stime, 30);
}

TEST_F(DetailFixture, ANewMovieDropsUnsavedEdits) {
    panel_.entry()->setText(QStringLiteral("x"));
    panel_.onAddButton();
    panel_.entry()->setText(QStringLiteral("draft"));
    panel_.setSelectedIndex(0);
    selectMovie();
    EXPECT_FALSE(panel_.isModified());
    EXPECT_TRUE(panel_.entry()->text().isEmpty());
    EXPECT_FALSE(panel_.selectedIndex().has_value());
    EXPECT_FALSE(panel_.list()->currentIndex().isValid());
    EXPECT_TRUE(QFile::exists(srt_));
    EXPECT_EQ(SubtitleSRT::shared().readAll(QUrl::fromLocalFile(srt_))->size(), 2);
}

TEST_F(DetailFixture, DeleteAndCopyActOnTheSelectedRowAndKeepItsIndex) {
    panel_.setSelectedIndex(0);
    panel_.copyText(0);
    EXPECT_EQ(QApplication::clipboard()->text(), QStringLiteral("Mark: five"));
    panel_.deleteText(0);
    EXPECT_TRUE(panel_.isModified());
    ASSERT_EQ(SubtitlesViewModel::shared().items().size(), 1);
    EXPECT_EQ(panel_.selectedIndex(), 0);
    EXPECT_EQ(panel_.list()->currentIndex().row(), 0);  // now the following mark
    panel_.deleteText(0);
    EXPECT_TRUE(SubtitlesViewModel::shared().items().isEmpty());
    EXPECT_FALSE(panel_.list()->currentIndex().isValid());
}

TEST_F(DetailFixture, SelectingAMarkAsksOnceForItsStart) {
    QSignalSpy seeks(&panel_, &DetailView::seekRequested);
    panel_.setSelectedIndex(1);
    panel_.setSelectedIndex(1);  // already selected
    panel_.setSelectedIndex(std::nullopt);
    ASSERT_EQ(seeks.size(), 1);
    EXPECT_EQ(seeks.first().first().toDouble(), 20.0);
}

TEST_F(DetailFixture, FollowsPositionReportsWhileHidden) {
    EXPECT_TRUE(panel_.timeField()->text() == QStringLiteral("00:00:00.000") || panel_.timeField()->text().isEmpty());
    EXPECT_FALSE(panel_.showPanel());
    EXPECT_EQ(panel_.seconds(), 0.0);
    report(61.5);
    EXPECT_EQ(panel_.timeField()->text(), QStringLiteral("00:01:01.500"));
    panel_.setShowPanel(true);
    EXPECT_TRUE(waitUntil([&] { return panel_.width() == DetailView::panelWidth; }));
    EXPECT_EQ(panel_.timeField()->text(), QStringLiteral("00:01:01.500"));
    EXPECT_FALSE(panel_.timeField()->isEnabled());
    EXPECT_EQ(panel_.timeField()->placeholderText(), QStringLiteral("00:00:00"));
    EXPECT_EQ(panel_.entry()->placeholderText(), QStringLiteral("Mark: enter text"));
}

TEST_F(DetailFixture, PastedLineBreaksBecomeSpacesInOneMark) {
    report(3);
    QApplication::clipboard()->setText(QStringLiteral("a\n\n7\n00:00:09,000 --> 00:00:10,000\r\nMark: injected"));
    panel_.entry()->setFocus();
    panel_.entry()->paste();
    panel_.onAddButton();
    ASSERT_TRUE(panel_.saveMarks());
    const auto saved = SubtitleSRT::shared().readAll(QUrl::fromLocalFile(srt_));
    ASSERT_TRUE(saved.has_value());
    ASSERT_EQ(saved->size(), 3);
    EXPECT_EQ((*saved)[0].text, QStringLiteral("a  7 00:00:09,000 --> 00:00:10,000  Mark: injected"));
    EXPECT_EQ((*saved)[0].stime, 3);
}

TEST_F(DetailFixture, AFailedSaveKeepsTheMarksAndTheFlagAndNamesTheFileAndReason) {
    struct Case {
        const char* name;
        std::function<void()> breakIt;
        const char* expected;  // in the message
    };
    const Case cases[] = {
        {"the sidecar is a folder",
         [&] {
             QFile::remove(srt_);
             QDir().mkpath(srt_);
         },
         "Night.srt"},
        {"the movie is gone", [&] { QFile::remove(movieURL_.toLocalFile()); }, "no longer exists"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        QDir(srt_).removeRecursively();
        ASSERT_TRUE(writeFile(movieURL_.toLocalFile(), "movie"));
        ASSERT_TRUE(writeFile(srt_, "1\r\n00:00:05,000 --> 00:00:07,000\r\nMark: five\r\n\r\n"));
        SubtitlesViewModel::shared().load(QUrl::fromLocalFile(srt_), 100);
        selectMovie();
        panel_.entry()->setText(QStringLiteral("kept"));
        panel_.onAddButton();
        c.breakIt();

        MessageBoxAnswerer answerer(QMessageBox::Ok);
        EXPECT_FALSE(panel_.saveMarks());
        EXPECT_TRUE(panel_.isModified());
        EXPECT_EQ(SubtitlesViewModel::shared().items().size(), 2);
        ASSERT_EQ(answerer.texts.size(), 1);
        EXPECT_TRUE(answerer.texts.first().contains(QString::fromUtf8(c.expected)))
            << answerer.texts.first().toStdString();
        if (QFileInfo(srt_).isFile()) {  // the old sidecar stays whole
            EXPECT_EQ(SubtitleSRT::shared().readAll(QUrl::fromLocalFile(srt_))->size(), 1);
        }
    }
}

TEST_F(DetailFixture, DeletingAMarkAnnouncesItForTheTimeline) {
    panel_.setSelectedIndex(1);
    panel_.deleteText(1);
    ASSERT_EQ(refreshed_.size(), 1);
    EXPECT_EQ(refreshed_.first().text, QStringLiteral("Death: Bob (E)"));
}

TEST_F(DetailFixture, ExportMarksOffersThreeFormsAndWritesTheChosenOne) {
    const struct {
        int filter;
        const char* name;
        QByteArray begins;
    } cases[] = {
        {0, "chapters.txt", ";FFMETADATA1"},
        {1, "list.txt", "00:00 Night\n00:05 Mark: five\n00:20 Death: Bob (E)\n"},
        {2, "table.csv", "start,end,kind,text\r\n5.000,7.000,mark,Mark: five\r\n"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const QString target = folder_.filePath(QString::fromLatin1(c.name));
        QStringList offered;
        // The real save dialog: the user picks a form and a file name.
        QTimer::singleShot(0, [&] {
            waitUntil([] { return qobject_cast<QFileDialog*>(QApplication::activeModalWidget()) != nullptr; });
            auto* dialog = qobject_cast<QFileDialog*>(QApplication::activeModalWidget());
            ASSERT_NE(dialog, nullptr);
            offered = dialog->nameFilters();
            dialog->selectNameFilter(offered.value(c.filter));
            dialog->selectFile(target);
            QMetaObject::invokeMethod(dialog, "accept");  // as the Save button does
        });
        panel_.exportButton()->click();
        EXPECT_EQ(offered.size(), 3);
        QFile written(target);
        ASSERT_TRUE(written.open(QIODevice::ReadOnly));
        EXPECT_TRUE(written.readAll().startsWith(c.begins));
    }
}

TEST_F(DetailFixture, AFailedExportSaysWhy) {
    MessageBoxAnswerer answerer(QMessageBox::Ok);
    EXPECT_FALSE(
        panel_.exportMarksTo(folder_.filePath(QStringLiteral("missing/folder/x.csv")), MarkExport::Format::csv));
    ASSERT_EQ(answerer.texts.size(), 1);
    EXPECT_TRUE(answerer.texts.first().contains(QStringLiteral("x.csv")));
}

TEST_F(DetailFixture, WhileTheMarksLoadNothingIsAddedSavedOrExported) {
    QFile file(srt_);
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    const QByteArray saved = file.readAll();
    file.close();
    report(12.5);
    SubtitlesViewModel& list = SubtitlesViewModel::shared();
    const quint64 load = list.startLoading(100);
    for (QWidget* control : {static_cast<QWidget*>(panel_.entry()), static_cast<QWidget*>(panel_.saveButton()),
                             static_cast<QWidget*>(panel_.exportButton())})
        EXPECT_FALSE(control->isEnabled());
    // A mark added now would be the only one a save writes, over all the file's marks.
    panel_.entry()->setText(QStringLiteral("too early"));
    panel_.onAddButton();
    EXPECT_TRUE(list.items().isEmpty());
    EXPECT_FALSE(panel_.isModified());
    EXPECT_TRUE(panel_.saveMarks());  // nothing to save
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    EXPECT_EQ(file.readAll(), saved);
    file.close();

    ASSERT_TRUE(list.takeLoaded(load, SubtitlesViewModel::readItems(QUrl::fromLocalFile(srt_), 100)));
    EXPECT_EQ(panel_.list()->model()->rowCount(), 2);
    EXPECT_TRUE(panel_.entry()->isEnabled());
    EXPECT_EQ(panel_.entry()->text(), QStringLiteral("too early"));  // what was typed is still there
    QTest::keyClick(panel_.entry(), Qt::Key_Return);
    ASSERT_EQ(list.items().size(), 3);
    EXPECT_EQ(list.items()[1].text, QStringLiteral("too early"));
    EXPECT_TRUE(panel_.isModified());
}

namespace {

// The pixels of `rect` in `picture` that are clearly green.
int greenPixels(const QImage& picture, const QRect& area) {
    const QRect rect = area & picture.rect();
    int count = 0;
    for (int y = rect.top(); y <= rect.bottom(); ++y)
        for (int x = rect.left(); x <= rect.right(); ++x) {
            const QColor c = picture.pixelColor(x, y);
            count += c.green() > c.red() + 60 && c.green() > c.blue() + 60;
        }
    return count;
}

}  // namespace

TEST_F(DetailFixture, ANewMarkOfAKindIsDrawnInItsColourAtOnce) {
    panel_.resize(DetailView::panelWidth, 600);
    panel_.setShowPanel(true);
    report(30);
    panel_.entry()->setText(QStringLiteral("Death: Ann (F)"));
    panel_.onAddButton();
    const QModelIndex added = SubtitlesViewModel::shared().index(2);
    ASSERT_EQ(added.data(SubtitlesViewModel::TextRole).toString(), QStringLiteral("Death: Ann (F)"));
    EXPECT_EQ(static_cast<ItemColor>(added.data(SubtitlesViewModel::ColorRole).toInt()), ItemColor::green);
    ASSERT_TRUE(waitUntil([this] { return panel_.width() == DetailView::panelWidth; }));
    const QImage drawn = panel_.grab().toImage();
    const QPoint list = panel_.list()->viewport()->mapTo(&panel_, QPoint(0, 0));
    const auto drawnRow = [&](int row) {
        return panel_.list()->visualRect(SubtitlesViewModel::shared().index(row)).translated(list);
    };
    EXPECT_GT(greenPixels(drawn, drawnRow(2)), 20);
    EXPECT_EQ(greenPixels(drawn, drawnRow(0)), 0);  // "Mark:"
}

TEST_F(DetailFixture, ACutTextShowsWholeAsATooltipAndAShortOneHasNone) {
    panel_.resize(DetailView::panelWidth, 600);
    panel_.setShowPanel(true);
    ASSERT_TRUE(waitUntil([this] { return panel_.width() == DetailView::panelWidth; }));
    const QString longText = QStringLiteral("Mark: ") + QString(QStringLiteral("a long note ")).repeated(12);
    report(30);
    panel_.entry()->setText(longText);
    panel_.onAddButton();
    const auto tooltipOf = [this](int row) {
        QWidget* viewport = panel_.list()->viewport();
        const QPoint at = panel_.list()->visualRect(SubtitlesViewModel::shared().index(row)).center();
        QHelpEvent event(QEvent::ToolTip, at, viewport->mapToGlobal(at));
        QApplication::sendEvent(viewport, &event);
        return QToolTip::isVisible() ? QToolTip::text() : QString();
    };
    EXPECT_TRUE(tooltipOf(0).isEmpty());
    EXPECT_EQ(tooltipOf(2), longText.trimmed());
}

TEST_F(DetailFixture, ThePlayedMarkIsHighlightedWithoutSelectingOrSeeking) {
    QSignalSpy seeks(&panel_, &DetailView::seekRequested);
    panel_.setSelectedIndex(1);
    seeks.clear();
    const struct {
        double at;
        std::optional<int> playing;
    } cases[] = {{4.9, std::nullopt}, {5, 0}, {6.9, 0}, {7, std::nullopt}, {21, 1}, {50, std::nullopt}};
    for (const auto& c : cases) {
        report(c.at);
        EXPECT_EQ(panel_.playingIndex(), c.playing) << c.at;
    }
    EXPECT_EQ(panel_.selectedIndex(), 1);
    EXPECT_TRUE(seeks.isEmpty());
}

TEST_F(DetailFixture, EditedTextAndTimeAreUndoableAndTheTimelineFollows) {
    QList<SubtitleItem> added, removed;
    QObject::connect(&movie_, &OpenMovie::markAdded, &observer_, [&](const SubtitleItem& item) { added << item; });
    QObject::connect(&movie_, &OpenMovie::markRemoved, &observer_, [&](const SubtitleItem& item) { removed << item; });

    // Line breaks become spaces; the kind's colour follows the words.
    EXPECT_TRUE(panel_.setMarkText(0, QStringLiteral("Death: Cy\n(F)")));
    const auto& items = SubtitlesViewModel::shared().items();
    EXPECT_EQ(items[0].text, QStringLiteral("Death: Cy (F)"));
    EXPECT_EQ(items[0].color, ItemColor::green);
    EXPECT_FALSE(panel_.setMarkText(0, QStringLiteral("  \n ")));  // nothing left: unchanged
    EXPECT_EQ(items[0].text, QStringLiteral("Death: Cy (F)"));
    ASSERT_EQ(removed.size(), 1);
    EXPECT_EQ(added.size(), 1);

    // Unreadable or past the end: told, and nothing changes.
    for (const QString& bad : {QStringLiteral("later"), QStringLiteral("00:61:00"), QStringLiteral("00:02:00")}) {
        MessageBoxAnswerer answerer(QMessageBox::Ok);
        EXPECT_FALSE(panel_.setMarkTime(0, bad)) << qPrintable(bad);
        ASSERT_EQ(answerer.texts.size(), 1) << qPrintable(bad);
        EXPECT_TRUE(answerer.texts.first().contains(bad)) << qPrintable(answerer.texts.first());
    }
    EXPECT_EQ(items[0].stime, 5);

    panel_.setSelectedIndex(0);
    EXPECT_TRUE(panel_.setMarkTime(0, QStringLiteral("00:00:30.5")));
    EXPECT_EQ(items[1].text, QStringLiteral("Death: Cy (F)"));
    EXPECT_EQ(items[1].stime, 30.5);
    EXPECT_EQ(items[1].etime, 32.5);
    EXPECT_EQ(panel_.selectedIndex(), 1);  // the moved mark stays selected
    EXPECT_EQ(removed.last().stime, 5);
    EXPECT_EQ(added.last().stime, 30.5);

    EXPECT_TRUE(panel_.nudgeSelected(-0.1));
    EXPECT_EQ(items[1].stime, 30.4);
    EXPECT_TRUE(panel_.nudgeSelected(-100));  // not before the start
    EXPECT_EQ(items[0].stime, 0);

    QUndoStack* history = movie_.undoStack();
    while (history->canUndo())
        history->undo();
    EXPECT_EQ(items[0].text, QStringLiteral("Mark: five"));
    EXPECT_EQ(items[0].stime, 5);
    EXPECT_FALSE(panel_.isModified());
}

namespace {

// Holds the sidecars work queue until released, so that a save queued behind it is seen while
// it is under way.
class SidecarQueueGate {
public:
    SidecarQueueGate() {
        workQueues().sidecars().start([gate = gate_] { gate->acquire(); });
    }
    ~SidecarQueueGate() { release(); }
    void release() {
        if (std::exchange(released_, true))
            return;
        gate_->release();
    }

private:
    std::shared_ptr<QSemaphore> gate_ = std::make_shared<QSemaphore>();
    bool released_ = false;
};

std::optional<QList<SubtitleItem>> readSidecar(const QString& path) {
    return SubtitleSRT::shared().readAll(QUrl::fromLocalFile(path));
}

}  // namespace

TEST_F(DetailFixture, WhileASaveRunsTheListWaitsAndTheFileLandsWhole) {
    report(30);
    panel_.entry()->setText(QStringLiteral("saved"));
    panel_.onAddButton();
    SidecarQueueGate gate;
    panel_.onSaveButton();
    ASSERT_TRUE(movie_.isSaving());
    EXPECT_FALSE(panel_.saveButton()->isEnabled());
    EXPECT_TRUE(panel_.saveButton()->text().startsWith(QStringLiteral("Saving")));

    // The list cannot be changed meanwhile; a mark typed now waits for the end, and says so.
    panel_.deleteText(0);
    EXPECT_FALSE(movie_.moveMark(1, 50));
    const auto& items = SubtitlesViewModel::shared().items();
    ASSERT_EQ(items.size(), 3);
    report(40);
    panel_.entry()->setText(QStringLiteral("typed meanwhile"));
    QTest::keyClick(panel_.entry(), Qt::Key_Return);
    EXPECT_TRUE(panel_.entry()->text().isEmpty());
    EXPECT_EQ(items.size(), 3);
    EXPECT_TRUE(panel_.saveButton()->text().contains(QStringLiteral("1 new mark")))
        << panel_.saveButton()->text().toStdString();

    gate.release();
    ASSERT_TRUE(waitUntil([this] { return !movie_.isSaving(); }, 20000));
    const auto saved = readSidecar(srt_);
    ASSERT_TRUE(saved.has_value());
    ASSERT_EQ(saved->size(), 3);
    EXPECT_EQ((*saved)[2].text, QStringLiteral("saved"));
    ASSERT_EQ(items.size(), 4);
    EXPECT_EQ(items[3].text, QStringLiteral("typed meanwhile"));
    EXPECT_EQ(items[3].stime, 40);
    EXPECT_TRUE(panel_.isModified());  // the waiting mark is not in the file yet
    EXPECT_FALSE(panel_.saveButton()->text().startsWith(QStringLiteral("Saving")));
    EXPECT_TRUE(panel_.saveButton()->isEnabled());

    panel_.onSaveButton();
    ASSERT_TRUE(waitUntil([this] { return !movie_.isSaving(); }, 20000));
    EXPECT_FALSE(panel_.isModified());
    EXPECT_EQ(readSidecar(srt_)->size(), 4);
}

TEST_F(DetailFixture, LeavingTheMovieOrQuittingWritesAQueuedSaveFirst) {
    report(30);
    panel_.entry()->setText(QStringLiteral("saved"));
    panel_.onAddButton();
    SidecarQueueGate gate;  // the save cannot start on the queue
    panel_.onSaveButton();
    ASSERT_TRUE(movie_.isSaving());
    MessageBoxAnswerer answerer(QMessageBox::Cancel);
    EXPECT_TRUE(panel_.confirmLeavingMovie());
    EXPECT_TRUE(answerer.texts.isEmpty());  // nothing left to ask about
    EXPECT_FALSE(movie_.isSaving());
    EXPECT_FALSE(panel_.isModified());
    const auto saved = readSidecar(srt_);
    ASSERT_TRUE(saved.has_value());
    EXPECT_EQ(saved->size(), 3);
}

TEST_F(DetailFixture, ACueOfMegabytesShowsCutAndStaysWhole) {
    const QString text = QStringLiteral("Mark: ") + QString(QStringLiteral("a very long note ")).repeated(10 << 16);
    ASSERT_TRUE(writeFile(srt_, "1\r\n00:00:05,000 --> 00:00:07,000\r\n" + text.toUtf8() + "\r\n\r\n"));
    selectMovie();  // a large sidecar: read on a worker
    const auto& items = SubtitlesViewModel::shared().items();
    ASSERT_TRUE(waitUntil([&] { return !movie_.isLoading() && items.size() == 1; }, 20000));
    panel_.resize(DetailView::panelWidth, 600);
    panel_.setShowPanel(true);
    ASSERT_TRUE(waitUntil([this] { return panel_.width() == DetailView::panelWidth; }));
    panel_.grab();  // lays the row out and paints it

    const QModelIndex row = SubtitlesViewModel::shared().index(0);
    QStyleOptionViewItem option;
    option.font = panel_.list()->font();
    EXPECT_LT(panel_.list()->itemDelegate()->sizeHint(option, row).width(), 20000);
    QWidget* viewport = panel_.list()->viewport();
    const QPoint at = panel_.list()->visualRect(row).center();
    QHelpEvent help(QEvent::ToolTip, at, viewport->mapToGlobal(at));
    QApplication::sendEvent(viewport, &help);
    ASSERT_TRUE(QToolTip::isVisible());
    EXPECT_LE(QToolTip::text().size(), 2001);
    EXPECT_TRUE(QToolTip::text().startsWith(QStringLiteral("Mark: a very long note")));
    EXPECT_TRUE(QToolTip::text().endsWith(QChar(0x2026)));
    QToolTip::hideText();

    // The mark itself keeps its whole text: copied and saved as read.
    const QString whole = items[0].text;
    EXPECT_GT(whole.size(), 10 << 20);
    EXPECT_TRUE(text.startsWith(whole));
    panel_.copyText(0);
    EXPECT_TRUE(QGuiApplication::clipboard()->text() == whole);
    report(30);
    panel_.entry()->setText(QStringLiteral("after"));
    panel_.onAddButton();
    ASSERT_TRUE(panel_.saveMarks());
    const auto saved = readSidecar(srt_);
    ASSERT_TRUE(saved.has_value());
    ASSERT_EQ(saved->size(), 2);
    EXPECT_TRUE((*saved)[0].text == whole);
}

TEST_F(DetailFixture, ASidecarTooLargeToReadIsToldInThePanelAndNeverSavedOver) {
    const QByteArray head = "1\r\n00:00:05,000 --> 00:00:07,000\r\nMark: in the large file\r\n\r\n";
    {
        QFile large(srt_);
        ASSERT_TRUE(large.open(QIODevice::WriteOnly | QIODevice::Truncate));
        ASSERT_EQ(large.write(head), head.size());
        ASSERT_TRUE(large.resize(SubtitleText::maxFileSize + 1));  // sparse: no disk taken
    }
    selectMovie();
    EXPECT_TRUE(SubtitlesViewModel::shared().items().isEmpty());
    EXPECT_FALSE(panel_.notice()->isHidden());
    EXPECT_TRUE(panel_.notice()->text().contains(QStringLiteral("Night.srt"))) << panel_.notice()->text().toStdString();
    EXPECT_TRUE(panel_.notice()->text().contains(QStringLiteral("256 MB")));

    report(30);
    panel_.entry()->setText(QStringLiteral("new"));
    panel_.onAddButton();
    MessageBoxAnswerer answerer(QMessageBox::Ok);
    panel_.onSaveButton();
    ASSERT_TRUE(waitUntil([&] { return !movie_.isSaving() && answerer.texts.size() == 1; }, 20000));
    EXPECT_TRUE(answerer.texts.first().contains(QStringLiteral("Night.srt"))) << answerer.texts.first().toStdString();
    EXPECT_FALSE(panel_.saveMarks());  // the quit's save neither
    EXPECT_TRUE(panel_.isModified());
    EXPECT_EQ(SubtitlesViewModel::shared().items().size(), 1);  // the new mark is still there
    QFile large(srt_);
    EXPECT_EQ(large.size(), SubtitleText::maxFileSize + 1);
    ASSERT_TRUE(large.open(QIODevice::ReadOnly));
    EXPECT_EQ(large.read(head.size()), head);

    // Another movie's panel says nothing of it.
    QFile::remove(srt_);
    selectMovie();
    EXPECT_TRUE(panel_.notice()->isHidden());
}
