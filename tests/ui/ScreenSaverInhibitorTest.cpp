#include "PrivateBus.h"
#include "TestMedia.h"
#include "ui/ScreenSaverInhibitor.h"

#include <gtest/gtest.h>
#include <QDBusMessage>
#include <QMutex>
#include <QMutexLocker>
#include <QThread>
#include <memory>
#include <optional>

namespace {

// The desktop's screen saver service as the test's own: it owns org.freedesktop.ScreenSaver on
// the private bus, grants cookies 1001, 1002, … and records every call. It answers on a thread
// of its own, so a caller that blocks the GUI thread (the inhibitor at quit) gets its reply.
class ScreenSaverRecorder : public QObject {
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "org.freedesktop.ScreenSaver")
public:
    // Forgets the calls and starts the cookies at 1001 again.
    void reset() {
        QMutexLocker lock(&mutex_);
        calls_.clear();
        lastCookie_ = 1000;
    }

public Q_SLOTS:
    uint Inhibit(const QString& application, const QString& reason) {
        QMutexLocker lock(&mutex_);
        const uint cookie = ++lastCookie_;
        calls_ << QStringLiteral("Inhibit %1 \"%2\" -> %3").arg(application, reason).arg(cookie);
        return cookie;
    }
    void UnInhibit(uint cookie) {
        QMutexLocker lock(&mutex_);
        calls_ << QStringLiteral("UnInhibit %1").arg(cookie);
    }
    // The calls so far. Asked over the caller's own connection, the answer includes every call
    // the caller sent before: one connection's messages arrive in order.
    QStringList Calls() {
        QMutexLocker lock(&mutex_);
        return calls_;
    }

private:
    QMutex mutex_;
    QStringList calls_;
    uint lastCookie_ = 1000;
};

class ScreenSaverInhibitorTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(bus_.isRunning()) << bus_.error().toStdString();
        inhibitorConnection_ = bus_.connect(QStringLiteral("inhibitor"));
        ASSERT_TRUE(inhibitorConnection_.isConnected());
    }

    void TearDown() override {
        if (serviceThread_) {
            serviceThread_->quit();
            serviceThread_->wait();
        }
    }

    // Starts the recorder on the bus, owning the screen saver's name.
    ScreenSaverRecorder* startScreenSaver() {
        recorder_ = std::make_unique<ScreenSaverRecorder>();
        serviceThread_ = std::make_unique<QThread>();
        recorder_->moveToThread(serviceThread_.get());
        serviceThread_->start();
        QDBusConnection service = bus_.connect(QStringLiteral("screensaver"));
        EXPECT_TRUE(service.registerObject(QStringLiteral("/org/freedesktop/ScreenSaver"), recorder_.get(),
                                           QDBusConnection::ExportAllSlots));
        EXPECT_TRUE(service.registerService(QStringLiteral("org.freedesktop.ScreenSaver")));
        return recorder_.get();
    }

    // Every call the inhibitor's connection has made to the screen saver so far.
    QStringList recordedCalls() {
        const QDBusMessage ask = QDBusMessage::createMethodCall(
            QStringLiteral("org.freedesktop.ScreenSaver"), QStringLiteral("/org/freedesktop/ScreenSaver"),
            QStringLiteral("org.freedesktop.ScreenSaver"), QStringLiteral("Calls"));
        const QDBusMessage reply = inhibitorConnection_.call(ask, QDBus::Block);
        EXPECT_EQ(reply.type(), QDBusMessage::ReplyMessage) << reply.errorMessage().toStdString();
        return reply.arguments().value(0).toStringList();
    }

    PrivateBus bus_;  // first: it outlives the connections
    QDBusConnection inhibitorConnection_{QString()};
    std::unique_ptr<QThread> serviceThread_;
    std::unique_ptr<ScreenSaverRecorder> recorder_;
};

const QString inhibit1 = QStringLiteral("Inhibit reelnook \"Playing a movie\" -> 1001");
const QString inhibit2 = QStringLiteral("Inhibit reelnook \"Playing a movie\" -> 1002");
const QString release1 = QStringLiteral("UnInhibit 1001");
const QString release2 = QStringLiteral("UnInhibit 1002");

// Steps: + playing, - not playing, w wait for the screen saver's answer. Then the inhibitor is
// destroyed, as at quit, which releases whatever it holds or is being granted.
TEST_F(ScreenSaverInhibitorTest, HoldsOneInhibitionWhilePlayingAndReleasesItOnPauseAndAtQuit) {
    ScreenSaverRecorder* recorder = startScreenSaver();
    const struct {
        const char* steps;
        std::optional<bool> heldBeforeQuit;  // none: still asking at quit
        QStringList calls;
    } cases[] = {
        {"", false, {}},
        {"-", false, {}},
        {"+w", true, {inhibit1, release1}},
        {"+w+w", true, {inhibit1, release1}},
        {"++w", true, {inhibit1, release1}},
        {"+w-w", false, {inhibit1, release1}},
        {"+w-w-w", false, {inhibit1, release1}},
        {"+w-w+w", true, {inhibit1, release1, inhibit2, release2}},
        // Stopped while the request was on its way: released as soon as it is granted.
        {"+-w", false, {inhibit1, release1}},
        {"+-+w", true, {inhibit1, release1}},
        {"+", std::nullopt, {inhibit1, release1}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.steps);
        auto inhibitor = std::make_unique<ScreenSaverInhibitor>(inhibitorConnection_);
        for (const char* step = c.steps; *step; ++step) {
            if (*step == 'w')
                ASSERT_TRUE(waitUntil([&] { return !inhibitor->isRequesting(); }));
            else
                inhibitor->setPlaying(*step == '+');
        }
        if (c.heldBeforeQuit) {
            EXPECT_EQ(inhibitor->isHeld(), *c.heldBeforeQuit);
        }
        inhibitor.reset();
        EXPECT_EQ(recordedCalls(), c.calls);
        recorder->reset();
    }
}

TEST_F(ScreenSaverInhibitorTest, WithoutTheServiceItLogsOnceAndTriesAgainOnlyAtTheNextStart) {
    const struct {
        const char* name;
        QDBusConnection connection;
    } cases[] = {
        {"no screen saver on the bus", inhibitorConnection_},
        {"no bus",
         QDBusConnection::connectToBus(QStringLiteral("unix:path=/nonexistent/bus"), QStringLiteral("no-bus"))},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        DesktopLogCapture log;
        ScreenSaverInhibitor inhibitor(c.connection);
        inhibitor.setPlaying(true);
        ASSERT_TRUE(waitUntil([&] { return !inhibitor.isRequesting(); }));
        EXPECT_FALSE(inhibitor.isHeld());
        inhibitor.setPlaying(true);  // still the same playback: not asked again
        EXPECT_FALSE(inhibitor.isRequesting());
        inhibitor.setPlaying(false);
        inhibitor.setPlaying(true);  // the next start asks again and fails the same way
        ASSERT_TRUE(waitUntil([&] { return !inhibitor.isRequesting(); }));
        EXPECT_EQ(log.lines.size(), 1) << log.lines.join(QStringLiteral("\n")).toStdString();
    }
    QDBusConnection::disconnectFromBus(QStringLiteral("no-bus"));

    // Once the screen saver is there, the next start is granted; the failed one is not retried.
    ScreenSaverInhibitor inhibitor(inhibitorConnection_);
    inhibitor.setPlaying(true);
    ASSERT_TRUE(waitUntil([&] { return !inhibitor.isRequesting(); }));
    startScreenSaver();
    inhibitor.setPlaying(true);
    EXPECT_FALSE(inhibitor.isRequesting());
    inhibitor.setPlaying(false);
    inhibitor.setPlaying(true);
    ASSERT_TRUE(waitUntil([&] { return !inhibitor.isRequesting(); }));
    EXPECT_TRUE(inhibitor.isHeld());
    EXPECT_EQ(recordedCalls(), QStringList{inhibit1});
}

}  // namespace

#include "ScreenSaverInhibitorTest.moc"
