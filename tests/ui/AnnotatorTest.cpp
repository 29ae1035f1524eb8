// The annotator's loop through the window, with keys as the window system delivers them:
// marking, editing, undoing and stepping without the mouse.
#include "MessageBoxes.h"
#include "TestEnv.h"
#include "TestMedia.h"
#include "core/AppState.h"
#include "models/SubtitlesViewModel.h"
#include "playback/Player.h"
#include "playback/VideoPlayerView.h"
#include "playback/VideoToolbarView.h"
#include "subtitles/SubtitleSRT.h"
#include "ui/ContentView.h"
#include "ui/DetailView.h"
#include "ui/IndexListView.h"
#include "ui/MainWindow.h"
#include "ui/OpenMovie.h"

#include <gtest/gtest.h>
#include <QApplication>
#include <QLabel>
#include <QLineEdit>
#include <QTemporaryDir>
#include <QTest>
#include <cmath>

namespace {

constexpr int clipRate = 20;  // frames per second: one frame is 50 ms, unlike the 100 ms nudge

class AnnotatorFixture : public testing::Test {
protected:
    void SetUp() override {
        global().setMoviesFolderOverride(folder_.path());
        window_ = std::make_unique<MainWindow>();
        window_->resize(1400, 800);
        window_->show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(window_.get()));
    }
    void TearDown() override { global().setMoviesFolderOverride({}); }

    // Opens a movie of four seconds with `srt` beside it and waits until it plays.
    void open(const QByteArray& srt) {
        const QString path = folder_.filePath(QStringLiteral("annotated.mp4"));
        ASSERT_TRUE(makeClip(path, ClipShape{4.0, QStringLiteral("160x120"), false, true, clipRate}));
        srt_ = folder_.filePath(QStringLiteral("annotated.srt"));
        ASSERT_TRUE(writeFile(srt_, srt));
        window_->openMovie()->open(VideoItem(QUrl::fromLocalFile(path), QStringLiteral(""), QStringLiteral("annotated"),
                                             QStringLiteral(""), ItemColor::white, 4.0));
        ASSERT_TRUE(waitUntil([&] { return player() && player()->isLoaded(); }, 10000));
        panel()->setShowPanel(true);
    }

    Player* player() const { return window_->content()->player(); }
    DetailView* panel() const { return window_->detail(); }
    const QList<SubtitleItem>& marks() const { return SubtitlesViewModel::shared().items(); }

    // A key as the window system delivers it, so that window-wide shortcuts see it.
    void press(Qt::Key key, Qt::KeyboardModifiers modifiers = Qt::NoModifier) {
        if (QApplication::activeWindow() != window_.get()) {
            window_->activateWindow();
            ASSERT_TRUE(QTest::qWaitForWindowActive(window_.get()));
        }
        QTest::keyClick(window_->windowHandle(), key, modifiers);
        ++presses_;
    }
    void type(const QString& text) {
        for (const QChar c : text) {
            const bool upper = c.isUpper();
            if (QApplication::activeWindow() != window_.get())
                window_->activateWindow();
            QTest::keyClick(window_->windowHandle(), c.toLatin1(), upper ? Qt::ShiftModifier : Qt::NoModifier);
            ++presses_;
        }
    }

    QTemporaryDir folder_{testHome() + QStringLiteral("/annotator-XXXXXX")};
    QString srt_;
    std::unique_ptr<MainWindow> window_;
    int presses_ = 0;
};

}  // namespace

TEST_F(AnnotatorFixture, AfterReturnOrEscTheKeysPlayTheMovieAndAClickOnTheVideoTakesThem) {
    open({});
    press(Qt::Key_M);
    ASSERT_TRUE(panel()->entry()->hasFocus());
    type(QStringLiteral("hello"));
    press(Qt::Key_Return);
    ASSERT_EQ(marks().size(), 1);
    EXPECT_EQ(marks().first().text, QStringLiteral("hello"));
    EXPECT_FALSE(panel()->entry()->hasFocus());
    press(Qt::Key_Space);  // plays, instead of typing a space into the entry
    EXPECT_TRUE(waitUntil([&] { return player()->isPlaying(); }));
    EXPECT_TRUE(panel()->entry()->text().isEmpty());

    press(Qt::Key_M);
    type(QStringLiteral("draft"));
    press(Qt::Key_Escape);
    EXPECT_FALSE(panel()->entry()->hasFocus());
    EXPECT_EQ(panel()->entry()->text(), QStringLiteral("draft"));  // kept for later
    press(Qt::Key_Space);
    EXPECT_TRUE(waitUntil([&] { return !player()->isPlaying(); }));

    press(Qt::Key_M);
    ASSERT_TRUE(panel()->entry()->hasFocus());
    QTest::mouseClick(window_->content()->videoView(), Qt::LeftButton);
    EXPECT_TRUE(window_->content()->hasFocus());
    press(Qt::Key_Space);
    EXPECT_TRUE(waitUntil([&] { return player()->isPlaying(); }));
    EXPECT_EQ(panel()->entry()->text(), QStringLiteral("draft"));
}

TEST_F(AnnotatorFixture, KindKeysTypeTheirWordsAndThreeKindedMarksTakeFewKeys) {
    open({});
    // Three moments, one kind each, and the save: every key counted.
    const struct {
        Qt::Key key;
        const char* name;
        const char* text;
        ItemColor color;
    } kinds[] = {
        {Qt::Key_K, "door", "Mark: door", ItemColor::gray},
        {Qt::Key_D, "Bob", "Death: Bob (F)", ItemColor::green},
        {Qt::Key_E, "Al", "Death: Al (E)", ItemColor::orange},
    };
    double at = 0.5;
    for (const auto& kind : kinds) {
        player()->seek(at);  // the moment, reached as by the arrow keys (not counted: the same before)
        ASSERT_TRUE(waitUntil([&] { return std::abs(panel()->seconds() - at) < 0.01; }));
        press(kind.key);
        type(QString::fromUtf8(kind.name));
        press(Qt::Key_Return);
        at += 1;
    }
    press(Qt::Key_S, Qt::ControlModifier);  // written on a worker
    ASSERT_TRUE(waitUntil([this] { return !panel()->isModified(); }));
    ASSERT_EQ(marks().size(), 3);
    for (int i = 0; i < 3; ++i) {
        EXPECT_EQ(marks()[i].text, QString::fromUtf8(kinds[i].text));
        EXPECT_EQ(marks()[i].color, kinds[i].color) << kinds[i].text;
    }
    EXPECT_FALSE(panel()->isModified());
    EXPECT_EQ(SubtitleSRT::shared().readAll(QUrl::fromLocalFile(srt_))->size(), 3);
    // Typed out in full after M, as before the kind keys: (M + 10 + Return) + (M + 14 + Return)
    // + (M + 13 + Return) + Ctrl+S = 44 presses (a shifted character counted as one press).
    EXPECT_EQ(presses_, 3 * 2 + 4 + 3 + 2 + 1);
    std::printf("[ key presses ] three kinded marks and a save: %d (typed out in full: 44)\n", presses_);
}

TEST_F(AnnotatorFixture, EditDeleteAndUndoByKeysFollowTheSavedState) {
    open(
        "1\r\n00:00:01,000 --> 00:00:01,500\r\nMark: one\r\n\r\n"
        "2\r\n00:00:02,000 --> 00:00:02,500\r\nMark: two\r\n\r\n");
    ASSERT_EQ(marks().size(), 2);
    panel()->setSelectedIndex(0);

    press(Qt::Key_F2);
    auto* editor = qobject_cast<QLineEdit*>(QApplication::focusWidget());
    ASSERT_NE(editor, nullptr);
    EXPECT_EQ(editor->objectName(), QStringLiteral("markTextEditor"));
    EXPECT_EQ(editor->text(), QStringLiteral("Mark: one"));
    press(Qt::Key_End);
    type(QStringLiteral("s"));
    press(Qt::Key_Return);
    ASSERT_TRUE(waitUntil([&] { return marks()[0].text == QStringLiteral("Mark: ones"); }));
    EXPECT_TRUE(panel()->isModified());

    press(Qt::Key_Right, Qt::AltModifier);
    EXPECT_NEAR(marks()[0].stime, 1.1, 1e-9);
    EXPECT_NEAR(marks()[0].etime, 1.6, 1e-9);  // the length kept
    press(Qt::Key_Right, Qt::AltModifier | Qt::ShiftModifier);
    EXPECT_NEAR(marks()[0].stime, 1.1 + 1.0 / clipRate, 1e-9);
    EXPECT_EQ(panel()->selectedIndex(), 0);
    EXPECT_TRUE(waitUntil([&] { return std::abs(player()->currentTime() - marks()[0].stime) < 0.01; }));

    // Typed past the other mark: the list stays in start order and the mark stays selected.
    press(Qt::Key_F2, Qt::ShiftModifier);
    editor = qobject_cast<QLineEdit*>(QApplication::focusWidget());
    ASSERT_NE(editor, nullptr);
    EXPECT_EQ(editor->objectName(), QStringLiteral("markTimeEditor"));
    type(QStringLiteral("3.25"));
    press(Qt::Key_Return);
    ASSERT_TRUE(waitUntil([&] { return marks()[1].text == QStringLiteral("Mark: ones"); }));
    EXPECT_EQ(marks()[1].stime, 3.25);
    EXPECT_EQ(panel()->selectedIndex(), 1);

    press(Qt::Key_Delete);
    ASSERT_EQ(marks().size(), 1);
    EXPECT_EQ(marks()[0].text, QStringLiteral("Mark: two"));

    // Back through delete, move, move, move, text edit: the file's list again, not modified.
    for (int i = 0; i < 5; ++i)
        press(Qt::Key_Z, Qt::ControlModifier);
    ASSERT_EQ(marks().size(), 2);
    EXPECT_EQ(marks()[0].text, QStringLiteral("Mark: one"));
    EXPECT_EQ(marks()[0].stime, 1.0);
    EXPECT_FALSE(panel()->isModified());
    press(Qt::Key_Z, Qt::ControlModifier | Qt::ShiftModifier);
    EXPECT_EQ(marks()[0].text, QStringLiteral("Mark: ones"));
    EXPECT_TRUE(panel()->isModified());

    press(Qt::Key_S, Qt::ControlModifier);
    ASSERT_TRUE(waitUntil([this] { return !panel()->isModified(); }));
    press(Qt::Key_Z, Qt::ControlModifier);  // away from what was saved
    EXPECT_TRUE(panel()->isModified());
}

TEST_F(AnnotatorFixture, FrameKeysStepOneFrameAndSpeedKeysChangeMpvsSpeed) {
    open({});
    EXPECT_NEAR(player()->frameDuration(), 1.0 / clipRate, 1e-6);
    player()->seek(1.0);
    // The seek done: its first picture reported.
    ASSERT_TRUE(waitUntil([&] { return std::abs(panel()->seconds() - 1.0) < 0.001; }));
    press(Qt::Key_Period);
    EXPECT_TRUE(waitUntil([&] { return std::abs(player()->currentTime() - (1.0 + 1.0 / clipRate)) < 0.01; }))
        << player()->currentTime();
    EXPECT_TRUE(waitUntil([&] { return !player()->isPlaying(); }));  // paused on the frame
    press(Qt::Key_Comma);
    EXPECT_TRUE(waitUntil([&] { return std::abs(player()->currentTime() - 1.0) < 0.01; })) << player()->currentTime();

    const struct {
        Qt::Key key;
        double speed;
    } steps[] = {{Qt::Key_BracketRight, 1.25}, {Qt::Key_BracketLeft, 1.0},  {Qt::Key_BracketLeft, 0.75},
                 {Qt::Key_BracketLeft, 0.5},   {Qt::Key_BracketLeft, 0.25}, {Qt::Key_BracketLeft, 0.25},
                 {Qt::Key_Backspace, 1.0},     {Qt::Key_BracketRight, 1.25}};
    auto* shown = window_->content()->toolbarView()->findChild<QLabel*>(QStringLiteral("speed"));
    ASSERT_NE(shown, nullptr);
    for (const auto& step : steps) {
        press(step.key);
        EXPECT_EQ(player()->speed(), step.speed);
        // In the transport bar only when it is not the normal speed.
        EXPECT_EQ(shown->isVisible(), step.speed != 1.0);
        if (step.speed != 1.0) {
            EXPECT_EQ(shown->text(), QString::number(step.speed) + QStringLiteral("\u00d7"));
        }
    }
    for (int i = 0; i < 8; ++i)
        press(Qt::Key_BracketRight);
    EXPECT_EQ(player()->speed(), Player::maxSpeed);
}
