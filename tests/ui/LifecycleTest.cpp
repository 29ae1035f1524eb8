#include "TestEnv.h"
#include "TestMedia.h"
#include "core/WorkQueues.h"
#include "models/LibraryCacheFile.h"
#include "models/LibraryLog.h"
#include "models/SidecarLoader.h"
#include "playback/PlayerLog.h"
#include "subtitles/SubtitlesLog.h"
#include "ui/AppDelegate.h"
#include "ui/DesktopLog.h"
#include "ui/SingleInstance.h"
#include "update/UpdateLog.h"
#include "update/VersionCheck.h"

#include <gtest/gtest.h>
#include <QDir>
#include <QFile>
#include <QLocalServer>
#include <QLocalSocket>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTemporaryDir>
#include <QThread>
#include <memory>

TEST(QuitCleanup, RemovesExactlyThePlayersSubtitleFiles) {
    QTemporaryDir cache;
    for (const char* name : {"a.vtt", "b.VTT", "c.srt", "vtt", "d.vtt.bak", "e.mks", "f.MKS", "g.mkv"})
        ASSERT_TRUE(writeFile(cache.filePath(QString::fromLatin1(name)), "x"));
    AppDelegate::removeCachedSubtitles(cache.path());
    const QStringList left = QDir(cache.path()).entryList(QDir::Files, QDir::Name);
    EXPECT_EQ(left, (QStringList{QStringLiteral("b.VTT"), QStringLiteral("c.srt"), QStringLiteral("d.vtt.bak"),
                                 QStringLiteral("f.MKS"), QStringLiteral("g.mkv"), QStringLiteral("vtt")}));
}

TEST(QuitCleanup, EmptyOrMissingCacheDoesNothing) {
    QTemporaryDir cache;
    AppDelegate::removeCachedSubtitles(cache.path());
    EXPECT_TRUE(QDir(cache.path()).isEmpty());
    AppDelegate::removeCachedSubtitles(cache.path() + QStringLiteral("/missing"));
    EXPECT_FALSE(QDir(cache.path() + QStringLiteral("/missing")).exists());
}

TEST(QuitCleanup, ASidecarLoadUnderWayLeavesNoFileBehind) {
    QTemporaryDir folder(testHome() + QStringLiteral("/quit-XXXXXX"));
    const QString movie = folder.filePath(QStringLiteral("big.mp4"));
    ASSERT_TRUE(writeFile(movie, "movie"));
    QByteArray srt;
    for (int i = 0; srt.size() < 16 * 1024 * 1024; ++i)
        srt += "1\r\n00:00:01,000 --> 00:00:02,000\r\nMark: cue " + QByteArray::number(i) + "\r\n\r\n";
    ASSERT_TRUE(writeFile(folder.filePath(QStringLiteral("big.srt")), srt));
    const QString playerFile = SidecarLoader::shared().playerFile(QUrl::fromLocalFile(movie)).path;

    SidecarLoader::shared().open(QUrl::fromLocalFile(movie), 10);  // read on a worker
    ASSERT_TRUE(SidecarLoader::shared().playerFile(QUrl::fromLocalFile(movie)).pending);
    AppDelegate().cleanUp();
    // Whatever the worker was doing, nothing lands after the clean-up.
    QThread::msleep(1500);
    workQueues().finish(30000);
    EXPECT_FALSE(QFile::exists(playerFile)) << qPrintable(playerFile);
}

TEST(Logging, OnlyWarningsPrintUnlessTheRulesAskForMore) {
    for (const QLoggingCategory* category : {&lcLibrary(), &lcPlayer(), &lcSubtitles(), &lcDesktop(), &lcUpdate()}) {
        SCOPED_TRACE(category->categoryName());
        EXPECT_FALSE(category->isDebugEnabled());
        EXPECT_FALSE(category->isInfoEnabled());
        EXPECT_TRUE(category->isWarningEnabled());
    }
    QLoggingCategory::setFilterRules(QStringLiteral("reelnook.*.debug=true"));
    EXPECT_TRUE(lcUpdate().isDebugEnabled());
    QLoggingCategory::setFilterRules({});
    EXPECT_FALSE(lcUpdate().isDebugEnabled());
}

TEST(QuitCleanup, QuittingCleansTheProgramsOwnCache) {
    ASSERT_TRUE(writeFile(testHome() + QStringLiteral("/.cache/reelnook/movie.vtt"), "WEBVTT"));
    ASSERT_TRUE(writeFile(testHome() + QStringLiteral("/.cache/other.vtt"), "WEBVTT"));  // not ours
    ASSERT_TRUE(writeFile(LibraryCacheFile::defaultPath(), "kept"));  // the library, kept across launches
    AppDelegate().cleanUp();
    EXPECT_FALSE(QFile::exists(testHome() + QStringLiteral("/.cache/reelnook/movie.vtt")));
    EXPECT_TRUE(QFile::exists(testHome() + QStringLiteral("/.cache/other.vtt")));
    EXPECT_TRUE(QFile::exists(LibraryCacheFile::defaultPath()));
}

TEST(SingleInstance, SecondLaunchHandsItsFilesToTheFirst) {
    const QString name = testHome() + QStringLiteral("/runtime/test.socket");
    EXPECT_FALSE(SingleInstance(name).handOver({QStringLiteral("/x.mp4")}, 200));  // nobody listens yet
    SingleInstance first(name);
    ASSERT_EQ(first.start({}), SingleInstance::Role::primary);
    ASSERT_TRUE(first.listen());
    QStringList received;
    QObject::connect(&first, &SingleInstance::filesReceived, [&](const QStringList& files) { received = files; });

    SingleInstance::Role role = SingleInstance::Role::primary;
    std::unique_ptr<QThread> second(QThread::create([&] {
        role = SingleInstance(name).start({QStringLiteral("/a b.mp4"), QStringLiteral("/\u00fc.mov")});
    }));
    second->start();
    EXPECT_TRUE(waitUntil([&] { return second->isFinished(); }));
    EXPECT_EQ(role, SingleInstance::Role::handedOver);
    EXPECT_TRUE(waitUntil([&] { return !received.isEmpty(); }));
    EXPECT_EQ(received, (QStringList{QStringLiteral("/a b.mp4"), QStringLiteral("/\u00fc.mov")}));
}

TEST(SingleInstance, AForeignListenerTakesNothingAndTheLaunchOpensItsOwnWindow) {
    const QString name = testHome() + QStringLiteral("/runtime/foreign.socket");
    QLocalServer foreign;  // another program on the name: reads, never answers
    QLocalServer::removeServer(name);
    ASSERT_TRUE(foreign.listen(name));
    QList<QLocalSocket*> accepted;
    QObject::connect(&foreign, &QLocalServer::newConnection, [&] {
        while (QLocalSocket* socket = foreign.nextPendingConnection()) {
            accepted << socket;
            QObject::connect(socket, &QLocalSocket::readyRead, socket, [socket] { socket->readAll(); });
        }
    });

    SingleInstance::Role role = SingleInstance::Role::handedOver;
    std::unique_ptr<QThread> launch(
        QThread::create([&] { role = SingleInstance(name).start({QStringLiteral("/a.mp4")}, 1500); }));
    launch->start();
    EXPECT_TRUE(waitUntil([&] { return launch->isFinished(); }, 10000));
    EXPECT_FALSE(accepted.isEmpty());
    EXPECT_EQ(role, SingleInstance::Role::primary);
}

TEST(SingleInstance, AStaleSocketIsTakenOver) {
    const QString name = testHome() + QStringLiteral("/runtime/stale.socket");
    ASSERT_TRUE(writeFile(name, ""));  // left by a run that crashed
    SingleInstance instance(name);
    EXPECT_EQ(instance.start({}), SingleInstance::Role::primary);
    EXPECT_TRUE(instance.listen());
}

TEST(VersionPage, IsRequestedOnEachCallAndNotRead) {
    QTcpServer server;
    ASSERT_TRUE(server.listen(QHostAddress::LocalHost));
    QStringList requests;
    QObject::connect(&server, &QTcpServer::newConnection, [&] {
        while (QTcpSocket* socket = server.nextPendingConnection())
            QObject::connect(socket, &QTcpSocket::readyRead, socket, [&, socket] {
                requests << QString::fromLatin1(socket->readAll().split('\r').first());
                socket->write("HTTP/1.1 200 OK\r\nContent-Length: 2\r\nConnection: close\r\n\r\nok");
                socket->disconnectFromHost();
            });
    });
    VersionChecker checker(nullptr);
    const QString page = QStringLiteral("http://127.0.0.1:%1/player/version/?type=free").arg(server.serverPort());
    checker.requestVersionPage(page);
    EXPECT_TRUE(waitUntil([&] { return requests.size() == 1; }));
    checker.requestVersionPage(page);
    EXPECT_TRUE(waitUntil([&] { return requests.size() == 2; }));
    EXPECT_EQ(requests.first(), QStringLiteral("GET /player/version/?type=free HTTP/1.1"));

    checker.requestVersionPage(QString{});  // loads nothing, and does not fail
}
