// Runs the real program under the test's display on a generated library and drives it from
// outside, as a user would: keys through XTEST (xdotool), pictures grabbed from the screen.
#include "TestEnv.h"
#include "TestMedia.h"

#include <gtest/gtest.h>
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
#include <csignal>

namespace {

QString program() { return QCoreApplication::applicationDirPath() + QStringLiteral("/reelnook"); }

QString xdotool(const QStringList& args) {
    QProcess p;
    p.start(QStringLiteral("xdotool"), args);
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
    if (QStandardPaths::findExecutable(QStringLiteral("xdotool")).isEmpty())
        GTEST_SKIP() << "xdotool is not installed";
    const QString library = testHome() + QStringLiteral("/library");
    ASSERT_TRUE(makeClip(library + QStringLiteral("/older.mp4"), ClipShape{6.0, QStringLiteral("320x240"), true}));
    QThread::msleep(1100);
    ASSERT_TRUE(makeClip(library + QStringLiteral("/newest.mp4"), ClipShape{6.0, QStringLiteral("320x240"), true}));
    ASSERT_TRUE(writeFile(library + QStringLiteral("/newest.srt"),
                          "1\r\n00:00:00,000 --> 00:00:05,000\r\nStart: Newest movie\r\n\r\n"
                          "2\r\n00:00:02,000 --> 00:00:04,000\r\nMark: look here\r\n\r\n"));
    const QString outside = testHome() + QStringLiteral("/outside/extra.mov");
    ASSERT_TRUE(makeClip(outside, ClipShape{3.0, QStringLiteral("320x240"), false}));
    ASSERT_TRUE(
        writeFile(testHome() + QStringLiteral("/outside/extra.srt"), "1\r\n00:00:00,000 --> 00:00:01,000\r\nhi\r\n"));
    const QString cache = testHome() + QStringLiteral("/.cache/reelnook");

    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("REELNOOK_UPDATE_SERVER"), QStringLiteral("http://127.0.0.1:1"));  // no network in tests
    QProcess app;
    app.setProcessEnvironment(env);
    app.setProcessChannelMode(QProcess::ForwardedChannels);
    app.start(program(), {QStringLiteral("--movies-dir"), library});
    ASSERT_TRUE(app.waitForStarted());

    // The newest movie is opened: its WebVTT file is written and the window shows up.
    EXPECT_TRUE(waitUntil([&] { return QFile::exists(cache + QStringLiteral("/newest.vtt")); }, 20000));
    QString window;
    // The program's own window: other tests may show windows of the same name on this display.
    EXPECT_TRUE(waitUntil(
        [&] {
            return !(window = xdotool({QStringLiteral("search"), QStringLiteral("--all"), QStringLiteral("--pid"),
                                       QString::number(app.processId()), QStringLiteral("--name"),
                                       QStringLiteral("^Reelnook-")}))
                        .isEmpty();
        },
        10000));
    window = window.split(QLatin1Char('\n')).first();
    xdotool({QStringLiteral("windowmove"), QStringLiteral("--sync"), window, QStringLiteral("0"), QStringLiteral("0")});
    xdotool({QStringLiteral("windowsize"), QStringLiteral("--sync"), window, QStringLiteral("1280"),
             QStringLiteral("760")});
    QThread::msleep(1500);

    // Space plays: the picture in the middle of the window moves.
    xdotool({QStringLiteral("windowfocus"), QStringLiteral("--sync"), window});
    xdotool({QStringLiteral("key"), QStringLiteral("--window"), window, QStringLiteral("space")});
    QThread::msleep(800);
    const QImage first = screen();
    QThread::msleep(1500);
    const QImage second = screen();
    const QRect video(400, 200, 500, 400);
    EXPECT_GT(changed(first, second, video), 0.01);
    second.save(QCoreApplication::applicationDirPath() + QStringLiteral("/../end-to-end-screenshot.png"));

    // A second launch hands its file to this window and ends at once.
    QProcess secondLaunch;
    secondLaunch.setProcessEnvironment(env);
    secondLaunch.start(program(), {outside});
    EXPECT_TRUE(secondLaunch.waitForFinished(10000));
    EXPECT_EQ(secondLaunch.exitCode(), 0);
    EXPECT_TRUE(
        waitUntil(
            [&] { return QFile::exists(cache + QStringLiteral("/extra.vtt")) || app.state() != QProcess::Running; },
            10000) &&
        app.state() == QProcess::Running);

    // Quitting closes the window, ends the process with 0 and removes the WebVTT files.
    xdotool({QStringLiteral("windowfocus"), QStringLiteral("--sync"), window});
    xdotool({QStringLiteral("key"), QStringLiteral("--window"), window, QStringLiteral("ctrl+q")});
    EXPECT_TRUE(app.waitForFinished(15000));
    // The window goes on the press of Q, and xdotool stops at its next request on the gone
    // window: the keys it pressed stay down, and would repeat Ctrl+Q into later windows.
    xdotool({QStringLiteral("keyup"), QStringLiteral("ctrl+q")});
    EXPECT_EQ(app.exitStatus(), QProcess::NormalExit);
    EXPECT_EQ(app.exitCode(), 0);
    EXPECT_FALSE(QFile::exists(cache + QStringLiteral("/newest.vtt")));
    if (app.state() != QProcess::NotRunning)
        app.kill();
}

namespace {

QProcessEnvironment offlineEnvironment() {
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("REELNOOK_UPDATE_SERVER"), QStringLiteral("http://127.0.0.1:1"));  // no network in tests
    return env;
}

// The main windows of one process (other tests may show windows of the same name on the display).
QStringList windowsOf(const QProcess& process) {
    const QString found =
        xdotool({QStringLiteral("search"), QStringLiteral("--all"), QStringLiteral("--pid"),
                 QString::number(process.processId()), QStringLiteral("--name"), QStringLiteral("^Reelnook-")});
    return found.isEmpty() ? QStringList{} : found.split(QLatin1Char('\n'));
}

}  // namespace

TEST(EndToEnd, AFileArgumentStaysOpenAcrossRefreshesAndFoldersAreRefused) {
    if (QStandardPaths::findExecutable(QStringLiteral("xdotool")).isEmpty())
        GTEST_SKIP() << "xdotool is not installed";
    const QString library = testHome() + QStringLiteral("/arguments-library");
    ASSERT_TRUE(
        makeClip(library + QStringLiteral("/in-library.mp4"), ClipShape{2.0, QStringLiteral("160x120"), false}));
    ASSERT_TRUE(writeFile(library + QStringLiteral("/in-library.srt"),
                          "1\r\n00:00:00,000 --> 00:00:01,000\r\nStart: In library\r\n"));
    const QString outside = testHome() + QStringLiteral("/arguments-outside/chosen.mp4");
    ASSERT_TRUE(makeClip(outside, ClipShape{2.0, QStringLiteral("160x120"), false}));
    ASSERT_TRUE(writeFile(testHome() + QStringLiteral("/arguments-outside/chosen.srt"),
                          "1\r\n00:00:00,000 --> 00:00:01,000\r\nhi\r\n"));
    const QString folderArgument = testHome() + QStringLiteral("/arguments-outside");
    const QString cache = testHome() + QStringLiteral("/.cache/reelnook");

    QProcess app;
    app.setProcessEnvironment(offlineEnvironment());
    app.start(program(), {QStringLiteral("--movies-dir"), library, folderArgument, outside});
    ASSERT_TRUE(app.waitForStarted());
    EXPECT_TRUE(waitUntil([&] { return QFile::exists(cache + QStringLiteral("/chosen.vtt")); }, 20000));
    QStringList windows;
    EXPECT_TRUE(waitUntil([&] { return !(windows = windowsOf(app)).isEmpty(); }, 10000));
    ASSERT_FALSE(windows.isEmpty());
    EXPECT_EQ(xdotool({QStringLiteral("getwindowname"), windows.first()}), QStringLiteral("Reelnook-0.1.0"));

    // A new movie arrives; two refreshes later the library movies are still not opened.
    ASSERT_TRUE(makeClip(library + QStringLiteral("/arrived.mp4"), ClipShape{2.0, QStringLiteral("160x120"), false}));
    ASSERT_TRUE(writeFile(library + QStringLiteral("/arrived.srt"),
                          "1\r\n00:00:00,000 --> 00:00:01,000\r\nStart: Arrived\r\n"));
    QThread::msleep(4500);
    EXPECT_FALSE(QFile::exists(cache + QStringLiteral("/in-library.vtt")));
    EXPECT_FALSE(QFile::exists(cache + QStringLiteral("/arrived.vtt")));

    app.terminate();
    EXPECT_TRUE(app.waitForFinished(15000));
    const QStringList refused =
        QString::fromLocal8Bit(app.readAllStandardError()).split(QLatin1Char('\n')).filter(folderArgument);
    EXPECT_EQ(refused.size(), 1) << refused.join(QLatin1Char('\n')).toStdString();
    if (app.state() != QProcess::NotRunning)
        app.kill();
}

TEST(EndToEnd, TwoLaunchesAtOnceEndWithOneWindow) {
    if (QStandardPaths::findExecutable(QStringLiteral("xdotool")).isEmpty())
        GTEST_SKIP() << "xdotool is not installed";
    const QString library = testHome() + QStringLiteral("/twin-launch-library");
    ASSERT_TRUE(QDir().mkpath(library));

    QProcess first, second;
    for (QProcess* launch : {&first, &second}) {
        launch->setProcessEnvironment(offlineEnvironment());
        launch->start(program(), {QStringLiteral("--movies-dir"), library});
    }
    ASSERT_TRUE(first.waitForStarted() && second.waitForStarted());
    // One of them hands over and ends with 0; the other keeps its window.
    EXPECT_TRUE(waitUntil(
        [&] { return first.state() == QProcess::NotRunning || second.state() == QProcess::NotRunning; }, 20000));
    QProcess& ended = first.state() == QProcess::NotRunning ? first : second;
    QProcess& window = &ended == &first ? second : first;
    EXPECT_EQ(ended.exitStatus(), QProcess::NormalExit);
    EXPECT_EQ(ended.exitCode(), 0);
    EXPECT_EQ(window.state(), QProcess::Running);
    EXPECT_TRUE(waitUntil([&] { return windowsOf(window).size() == 1; }, 10000));

    // A third launch still finds the window's socket.
    QProcess third;
    third.setProcessEnvironment(offlineEnvironment());
    third.start(program(), {QStringLiteral("--movies-dir"), library});
    EXPECT_TRUE(third.waitForFinished(15000));
    EXPECT_EQ(third.exitCode(), 0);

    window.terminate();
    EXPECT_TRUE(window.waitForFinished(15000));
    for (QProcess* launch : {&first, &second, &third})
        if (launch->state() != QProcess::NotRunning)
            launch->kill();
}

TEST(EndToEnd, ATerminationSignalSavesTheMarksAndCleansUp) {
    if (QStandardPaths::findExecutable(QStringLiteral("xdotool")).isEmpty())
        GTEST_SKIP() << "xdotool is not installed";
    const QString library = testHome() + QStringLiteral("/signal-library");
    ASSERT_TRUE(makeClip(library + QStringLiteral("/signalled.mp4"), ClipShape{4.0, QStringLiteral("160x120"), false}));
    const QString sidecar = library + QStringLiteral("/signalled.srt");
    const QString cache = testHome() + QStringLiteral("/.cache/reelnook");
    const struct {
        const char* name;
        int signalNumber;
    } cases[] = {{"SIGTERM", SIGTERM}, {"SIGHUP", SIGHUP}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        ASSERT_TRUE(writeFile(sidecar, "1\r\n00:00:00,000 --> 00:00:01,000\r\nStart: Signalled\r\n\r\n"));
        QProcess app;
        app.setProcessEnvironment(offlineEnvironment());
        app.start(program(), {QStringLiteral("--movies-dir"), library});
        ASSERT_TRUE(app.waitForStarted());
        ASSERT_TRUE(waitUntil([&] { return QFile::exists(cache + QStringLiteral("/signalled.vtt")); }, 20000));
        QStringList windows;
        ASSERT_TRUE(waitUntil([&] { return !(windows = windowsOf(app)).isEmpty(); }, 10000));
        const QString window = windows.first();
        // A mark typed and added, never saved.
        const QString text = QStringLiteral("Mark: left by %1").arg(QString::fromLatin1(c.name));
        xdotool({QStringLiteral("windowfocus"), QStringLiteral("--sync"), window});
        xdotool({QStringLiteral("key"), QStringLiteral("--window"), window, QStringLiteral("m")});
        xdotool({QStringLiteral("type"), QStringLiteral("--window"), window, text});
        xdotool({QStringLiteral("key"), QStringLiteral("--window"), window, QStringLiteral("Return")});
        // The window handles its keys in order: once "f" has hidden its panes and menu (full
        // screen; without a window manager the window keeps its size), the mark is in.
        const QStringList geometry =
            xdotool({QStringLiteral("getwindowgeometry"), QStringLiteral("--shell"), window}).split(QLatin1Char('\n'));
        const auto field = [&](const QString& name) {
            for (const QString& line : geometry)
                if (line.startsWith(name + QLatin1Char('=')))
                    return line.mid(name.size() + 1).toInt();
            return 0;
        };
        const QRect area(field(QStringLiteral("X")), field(QStringLiteral("Y")), field(QStringLiteral("WIDTH")),
                         field(QStringLiteral("HEIGHT")));
        ASSERT_FALSE(area.isEmpty());
        const QImage before = screen();
        xdotool({QStringLiteral("key"), QStringLiteral("--window"), window, QStringLiteral("f")});
        ASSERT_TRUE(waitUntil([&] { return changed(before, screen(), area) > 0.2; }, 20000))
            << "the window never took its keys";

        ASSERT_EQ(::kill(pid_t(app.processId()), c.signalNumber), 0);
        EXPECT_TRUE(app.waitForFinished(15000));
        EXPECT_EQ(app.exitStatus(), QProcess::NormalExit);
        EXPECT_EQ(app.exitCode(), 0);
        QFile saved(sidecar);
        ASSERT_TRUE(saved.open(QIODevice::ReadOnly));
        EXPECT_TRUE(QString::fromUtf8(saved.readAll()).contains(text)) << "the unsaved mark is lost";
        EXPECT_FALSE(QFile::exists(cache + QStringLiteral("/signalled.vtt")));
        if (app.state() != QProcess::NotRunning)
            app.kill();
    }
}
