// Runs the real program under the test's display on a generated library and drives it from
// outside, as a user would: keys through XTEST (xdotool), pictures grabbed from the screen.
#include "TestEnv.h"
#include "TestMedia.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QGuiApplication>
#include <QImage>
#include <QPixmap>
#include <QProcess>
#include <QScreen>
#include <QStandardPaths>
#include <QThread>
#include <gtest/gtest.h>

namespace {

QString program() { return QCoreApplication::applicationDirPath() + "/reelnook"; }

QString xdotool(const QStringList& args) {
    QProcess p;
    p.start("xdotool", args);
    p.waitForFinished(10000);
    return QString::fromUtf8(p.readAllStandardOutput()).trimmed();
}

QImage screen() { return QGuiApplication::primaryScreen()->grabWindow(0).toImage(); }

// Share of pixels in `area` that differ between two pictures.
double changed(const QImage& a, const QImage& b, const QRect& area) {
    int differing = 0, total = 0;
    for (int y = area.top(); y < area.bottom(); y += 4)
        for (int x = area.left(); x < area.right(); x += 4, ++total)
            differing += a.pixel(x, y) != b.pixel(x, y);
    return total ? double(differing) / total : 0;
}

}  // namespace

TEST(EndToEnd, OpensPlaysTakesFilesFromASecondLaunchAndCleansUpOnQuit) {
    if (QStandardPaths::findExecutable("xdotool").isEmpty())
        GTEST_SKIP() << "xdotool is not installed";
    const QString library = testHome() + "/library";
    ASSERT_TRUE(makeClip(library + "/older.mp4", ClipShape{6.0, "320x240", true}));
    QThread::msleep(1100);
    ASSERT_TRUE(makeClip(library + "/newest.mp4", ClipShape{6.0, "320x240", true}));
    ASSERT_TRUE(writeFile(library + "/newest.srt",
                          "1\r\n00:00:00,000 --> 00:00:05,000\r\nStart: Newest movie\r\n\r\n"
                          "2\r\n00:00:02,000 --> 00:00:04,000\r\nMark: look here\r\n\r\n"));
    const QString outside = testHome() + "/outside/extra.mov";
    ASSERT_TRUE(makeClip(outside, ClipShape{3.0, "320x240", false}));
    ASSERT_TRUE(writeFile(testHome() + "/outside/extra.srt", "1\r\n00:00:00,000 --> 00:00:01,000\r\nhi\r\n"));
    const QString cache = testHome() + "/.cache/reelnook";

    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert("REELNOOK_UPDATE_SERVER", "http://127.0.0.1:1");  // no network in tests
    QProcess app;
    app.setProcessEnvironment(env);
    app.setProcessChannelMode(QProcess::ForwardedChannels);
    app.start(program(), {"--movies-dir", library});
    ASSERT_TRUE(app.waitForStarted());

    // The newest movie is opened: its WebVTT file is written and the window shows up.
    EXPECT_TRUE(waitUntil([&] { return QFile::exists(cache + "/newest.vtt"); }, 20000));
    QString window;
    EXPECT_TRUE(waitUntil([&] { return !(window = xdotool({"search", "--name", "^Reelnook-"})).isEmpty(); }, 10000));
    window = window.split('\n').first();
    xdotool({"windowmove", "--sync", window, "0", "0"});
    xdotool({"windowsize", "--sync", window, "1280", "760"});
    QThread::msleep(1500);

    // Space plays: the picture in the middle of the window moves.
    xdotool({"windowfocus", "--sync", window});
    xdotool({"key", "--window", window, "space"});
    QThread::msleep(800);
    const QImage first = screen();
    QThread::msleep(1500);
    const QImage second = screen();
    const QRect video(400, 200, 500, 400);
    EXPECT_GT(changed(first, second, video), 0.01);
    second.save(QCoreApplication::applicationDirPath() + "/../end-to-end-screenshot.png");

    // A second launch hands its file to this window and ends at once.
    QProcess secondLaunch;
    secondLaunch.setProcessEnvironment(env);
    secondLaunch.start(program(), {outside});
    EXPECT_TRUE(secondLaunch.waitForFinished(10000));
    EXPECT_EQ(secondLaunch.exitCode(), 0);
    EXPECT_TRUE(waitUntil([&] { return QFile::exists(cache + "/extra.vtt") || app.state() != QProcess::Running; }, 10000) &&
                app.state() == QProcess::Running);

    // Quitting closes the window, ends the process with 0 and removes the WebVTT files.
    xdotool({"windowfocus", "--sync", window});
    xdotool({"key", "--window", window, "ctrl+q"});
    EXPECT_TRUE(app.waitForFinished(15000));
    EXPECT_EQ(app.exitStatus(), QProcess::NormalExit);
    EXPECT_EQ(app.exitCode(), 0);
    EXPECT_FALSE(QFile::exists(cache + "/newest.vtt"));
    if (app.state() != QProcess::NotRunning)
        app.kill();
}
