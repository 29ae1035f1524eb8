#include "PrivateBus.h"
#include "TestMedia.h"
#include "playback/Player.h"
#include "playback/PlayerItem.h"
#include "ui/MprisService.h"
#include "update/BuildInfo.h"

#include <gtest/gtest.h>
#include <QDBusArgument>
#include <QDBusMessage>
#include <QDBusVariant>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <cmath>
#include <memory>

namespace {

const QString rootInterface = QStringLiteral("org.mpris.MediaPlayer2");
const QString playerInterface = QStringLiteral("org.mpris.MediaPlayer2.Player");
const QString propertiesInterface = QStringLiteral("org.freedesktop.DBus.Properties");

// What a client on the bus receives from the service's object.
class BusListener : public QObject {
    Q_OBJECT
public:
    struct Change {
        QString interface;
        QVariantMap properties;
    };
    QList<Change> changes;
    QList<qlonglong> seeks;

public Q_SLOTS:
    void propertiesChanged(const QString& interface, const QVariantMap& properties, const QStringList&) {
        changes << Change{interface, properties};
    }
    void seeked(qlonglong position) { seeks << position; }
};

// A D-Bus value as the client reads it: nested maps arrive as D-Bus arguments.
QVariant plain(const QVariant& value) {
    if (value.userType() == qMetaTypeId<QDBusArgument>())
        return qdbus_cast<QVariantMap>(value.value<QDBusArgument>());
    return value;
}

// The service published on a private bus, and a client of its own on the same bus.
class MprisServiceTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(bus_.isRunning()) << bus_.error().toStdString();
        serviceConnection_ = bus_.connect(QStringLiteral("mpris-service"));
        client_ = bus_.connect(QStringLiteral("mpris-client"));
        ASSERT_TRUE(client_.isConnected());
        ASSERT_TRUE(service_.registerOn(serviceConnection_));
        ASSERT_TRUE(client_.connect(MprisService::busName(), MprisService::objectPath(), propertiesInterface,
                                    QStringLiteral("PropertiesChanged"), &listener_,
                                    SLOT(propertiesChanged(QString, QVariantMap, QStringList))));
        ASSERT_TRUE(client_.connect(MprisService::busName(), MprisService::objectPath(), playerInterface,
                                    QStringLiteral("Seeked"), &listener_, SLOT(seeked(qlonglong))));
    }

    // Calls the service the way a desktop client does. The service answers on this thread, so
    // the wait runs the event loop.
    QDBusMessage call(const QString& interface, const QString& method, const QVariantList& arguments = {}) {
        QDBusMessage message =
            QDBusMessage::createMethodCall(MprisService::busName(), MprisService::objectPath(), interface, method);
        message.setArguments(arguments);
        const QDBusMessage reply = client_.call(message, QDBus::BlockWithGui);
        EXPECT_EQ(reply.type(), QDBusMessage::ReplyMessage)
            << method.toStdString() << ": " << reply.errorMessage().toStdString();
        return reply;
    }
    void callPlayer(const QString& method, const QVariantList& arguments = {}) {
        call(playerInterface, method, arguments);
    }

    QVariant property(const QString& interface, const QString& name) {
        const QDBusMessage reply = call(propertiesInterface, QStringLiteral("Get"), {interface, name});
        return plain(reply.arguments().value(0).value<QDBusVariant>().variant());
    }
    QVariant playerProperty(const QString& name) { return property(playerInterface, name); }
    QVariantMap metadata() { return playerProperty(QStringLiteral("Metadata")).toMap(); }

    void setPlayerProperty(const QString& name, const QVariant& value) {
        call(propertiesInterface, QStringLiteral("Set"),
             {playerInterface, name, QVariant::fromValue(QDBusVariant(value))});
    }

    // Waits for the next PropertiesChanged after those already seen and returns its properties.
    QVariantMap nextChange() {
        const qsizetype seen = seenChanges_;
        if (!waitUntil([&] { return listener_.changes.size() > seen; })) {
            ADD_FAILURE() << "no PropertiesChanged arrived";
            return {};
        }
        seenChanges_ = seen + 1;
        const BusListener::Change& change = listener_.changes[seen];
        EXPECT_EQ(change.interface, playerInterface);
        QVariantMap properties;
        for (auto it = change.properties.cbegin(); it != change.properties.cend(); ++it)
            properties.insert(it.key(), plain(it.value()));
        return properties;
    }
    // Skips the PropertiesChanged signals the setup of a test caused.
    void settleChanges() {
        call(playerInterface, QStringLiteral("Pause"));  // a round trip: earlier signals have arrived
        seenChanges_ = listener_.changes.size();
    }

    // A real player, without picture or sound, with a clip of `seconds` open and paused.
    std::unique_ptr<Player> openPlayer(const QString& name, double seconds) {
        const QString path = folder_.filePath(name);
        if (!makeClip(path, {.seconds = seconds})) {
            ADD_FAILURE() << "ffmpeg could not make " << path.toStdString();
            return nullptr;
        }
        auto player = std::make_unique<Player>(Player::Options{false, false});
        player->replaceCurrentItem(getPlayerItem(QUrl::fromLocalFile(path), seconds));
        EXPECT_TRUE(waitUntil([&] { return player->isLoaded(); }, 10000));
        return player;
    }

    static VideoItem movie(const QString& path, const QString& title, double seconds) {
        return VideoItem(QUrl::fromLocalFile(path), QStringLiteral("2024-01-01 10:00:00"), title, QString(),
                         ItemColor::white, seconds);
    }

    PrivateBus bus_;  // first: it outlives the connections and the service
    QTemporaryDir folder_;
    QDBusConnection serviceConnection_{QString()};
    QDBusConnection client_{QString()};
    BusListener listener_;
    MprisService service_;
    qsizetype seenChanges_ = 0;
};

TEST_F(MprisServiceTest, PublishesTheProgramsIdentityAndAbilities) {
    const struct {
        QString interface, name;
        QVariant value;
    } cases[] = {
        {rootInterface, QStringLiteral("Identity"), QString::fromUtf8(BuildInfo::name)},           // "Reelnook"
        {rootInterface, QStringLiteral("DesktopEntry"), QString::fromUtf8(BuildInfo::desktopId)},  // "reelnook"
        {rootInterface, QStringLiteral("CanQuit"), true},
        {rootInterface, QStringLiteral("CanRaise"), true},
        {rootInterface, QStringLiteral("HasTrackList"), false},
        {rootInterface, QStringLiteral("SupportedUriSchemes"), QStringList{QStringLiteral("file")}},
        {rootInterface, QStringLiteral("SupportedMimeTypes"),
         QStringList{QStringLiteral("video/mp4"), QStringLiteral("video/quicktime")}},
        {playerInterface, QStringLiteral("CanControl"), true},
        {playerInterface, QStringLiteral("Rate"), 1.0},
        {playerInterface, QStringLiteral("MinimumRate"), 0.25},
        {playerInterface, QStringLiteral("MaximumRate"), 4.0},
        // Nothing to play yet.
        {playerInterface, QStringLiteral("PlaybackStatus"), QStringLiteral("Stopped")},
        {playerInterface, QStringLiteral("CanPlay"), false},
        {playerInterface, QStringLiteral("CanSeek"), false},
        {playerInterface, QStringLiteral("CanGoNext"), false},
    };
    for (const auto& c : cases)
        EXPECT_EQ(property(c.interface, c.name), c.value) << c.name.toStdString();
    EXPECT_EQ(metadata(),
              (QVariantMap{{QStringLiteral("mpris:trackid"), QVariant::fromValue(MprisService::trackId(QUrl()))}}));
}

// Each step's method, then whether the real player plays and where it is.
TEST_F(MprisServiceTest, TransportMethodsDriveTheRealPlayerAndAnnounceTheStatus) {
    auto player = openPlayer(QStringLiteral("transport.mp4"), 6);
    ASSERT_TRUE(player);
    service_.setPlayer(player.get());
    settleChanges();

    const struct {
        QString method;
        bool playing;
    } steps[] = {
        {QStringLiteral("PlayPause"), true}, {QStringLiteral("PlayPause"), false}, {QStringLiteral("Play"), true},
        {QStringLiteral("Play"), true},      {QStringLiteral("Pause"), false},     {QStringLiteral("Play"), true},
        {QStringLiteral("Stop"), false},
    };
    bool wasPlaying = false;
    for (const auto& step : steps) {
        SCOPED_TRACE(step.method.toStdString());
        callPlayer(step.method);
        EXPECT_EQ(player->isPlaying(), step.playing);
        const QString status = step.playing ? QStringLiteral("Playing") : QStringLiteral("Paused");
        EXPECT_EQ(playerProperty(QStringLiteral("PlaybackStatus")), status);
        if (step.playing != wasPlaying) {
            EXPECT_EQ(nextChange().value(QStringLiteral("PlaybackStatus")), status);
        }
        wasPlaying = step.playing;
    }
    // Stop is a pause at the start.
    ASSERT_TRUE(waitUntil([&] { return player->currentTime() < 0.05; }));
    EXPECT_EQ(listener_.seeks.value(0, -1), 0);

    // The player going away leaves nothing to play.
    player.reset();
    const QVariantMap gone = nextChange();
    EXPECT_EQ(gone.value(QStringLiteral("PlaybackStatus")), QStringLiteral("Stopped"));
    EXPECT_EQ(gone.value(QStringLiteral("CanPlay")), false);
    callPlayer(QStringLiteral("PlayPause"));  // harmless
}

TEST_F(MprisServiceTest, MetadataFollowsTheMovieAndItsIdStaysWithTheFile) {
    const QString path = folder_.filePath(QStringLiteral("a movie.mp4"));
    service_.setMovie(movie(path, QStringLiteral("A movie"), 12.5));
    const QVariantMap expected{
        {QStringLiteral("mpris:trackid"), QVariant::fromValue(MprisService::trackId(QUrl::fromLocalFile(path)))},
        {QStringLiteral("mpris:length"), qlonglong(12'500'000)},
        {QStringLiteral("xesam:title"), QStringLiteral("A movie")},
        {QStringLiteral("xesam:url"), QUrl::fromLocalFile(path).toString(QUrl::FullyEncoded)},
    };
    EXPECT_EQ(nextChange(), (QVariantMap{{QStringLiteral("Metadata"), expected}}));
    EXPECT_EQ(metadata(), expected);
    EXPECT_TRUE(expected.value(QStringLiteral("xesam:url")).toString().endsWith(QStringLiteral("/a%20movie.mp4")));

    // The id is a valid path, the same for the same file whatever the record, and differs
    // between files.
    const QDBusObjectPath id = MprisService::trackId(QUrl::fromLocalFile(path));
    EXPECT_FALSE(id.path().isEmpty());
    EXPECT_NE(id, MprisService::trackId(QUrl()));
    EXPECT_EQ(id, MprisService::trackId(movie(path, QStringLiteral("Renamed"), 1).url()));
    EXPECT_NE(id, MprisService::trackId(QUrl::fromLocalFile(folder_.filePath(QStringLiteral("other.mp4")))));

    // A movie of unknown length has no length; no movie is MPRIS's "no track".
    service_.setMovie(movie(path, QStringLiteral("A movie"), 0));
    EXPECT_FALSE(nextChange().value(QStringLiteral("Metadata")).toMap().contains(QStringLiteral("mpris:length")));
    service_.setMovie(VideoItem());
    EXPECT_EQ(nextChange().value(QStringLiteral("Metadata")).toMap(),
              (QVariantMap{{QStringLiteral("mpris:trackid"), QVariant::fromValue(MprisService::trackId(QUrl()))}}));
}

TEST_F(MprisServiceTest, VolumeGoesBothWaysAndOnlyChangesAreAnnounced) {
    auto player = openPlayer(QStringLiteral("volume.mp4"), 3);
    ASSERT_TRUE(player);
    service_.setPlayer(player.get());
    settleChanges();
    QSignalSpy fromBus(&service_, &MprisService::volumeChangedFromBus);

    const struct { double set, expected; } cases[] = {{0.4, 0.4}, {1.7, 1.0}, {-0.5, 0.0}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.set);
        fromBus.clear();
        setPlayerProperty(QStringLiteral("Volume"), c.set);
        EXPECT_FLOAT_EQ(player->volume(), float(c.expected));
        ASSERT_EQ(fromBus.size(), 1);
        EXPECT_FLOAT_EQ(fromBus.first().first().toDouble(), c.expected);
        const QVariantMap change = nextChange();
        EXPECT_EQ(change.keys(), QStringList{QStringLiteral("Volume")});
        EXPECT_FLOAT_EQ(change.value(QStringLiteral("Volume")).toDouble(), c.expected);
    }

    // The toolbar's change reaches the bus too, and a repeated value is not announced.
    player->setVolume(0.7f);
    player->setVolume(0.7f);
    service_.setNavigation(true, false);
    const QVariantMap volume = nextChange();
    EXPECT_EQ(volume.keys(), QStringList{QStringLiteral("Volume")});
    EXPECT_FLOAT_EQ(volume.value(QStringLiteral("Volume")).toDouble(), 0.7);
    EXPECT_EQ(nextChange(), (QVariantMap{{QStringLiteral("CanGoNext"), true}}));
    EXPECT_FLOAT_EQ(playerProperty(QStringLiteral("Volume")).toDouble(), 0.7);
}

TEST_F(MprisServiceTest, SeekAndSetPositionMoveThePlayerAndIgnoreWhatDoesNotFit) {
    const double seconds = 4;
    auto player = openPlayer(QStringLiteral("seek.mp4"), seconds);
    ASSERT_TRUE(player);
    const VideoItem item = movie(player->currentItem()->url.toLocalFile(), QStringLiteral("Seek"), seconds);
    const QDBusObjectPath track = MprisService::trackId(item.url());
    service_.setPlayer(player.get());
    service_.setMovie(item);
    auto at = [&](double target) { return waitUntil([&] { return std::abs(player->currentTime() - target) < 0.05; }); };

    callPlayer(QStringLiteral("SetPosition"), {QVariant::fromValue(track), qlonglong(2'500'000)});
    ASSERT_TRUE(at(2.5));
    EXPECT_NEAR(playerProperty(QStringLiteral("Position")).toLongLong(), 2'500'000, 50'000);  // read live
    callPlayer(QStringLiteral("Seek"), {qlonglong(-1'000'000)});
    ASSERT_TRUE(at(1.5));
    callPlayer(QStringLiteral("Seek"), {qlonglong(-9'000'000)});  // before the start: the start
    ASSERT_TRUE(at(0));

    // Seek starts from the shown frame, so its targets are within a frame of the whole steps.
    ASSERT_TRUE(waitUntil([&] { return listener_.seeks.size() == 3; }));
    const qlonglong expected[] = {2'500'000, 1'500'000, 0};
    for (int i = 0; i < 3; ++i)
        EXPECT_NEAR(listener_.seeks[i], expected[i], 50'000) << i;

    // Ignored: another track's id, a position before the start or after the end. The Seeked
    // signals arrive in order, so none of these sent one if the next one is the first after.
    callPlayer(QStringLiteral("SetPosition"),
               {QVariant::fromValue(MprisService::trackId(QUrl::fromLocalFile(QStringLiteral("/other.mp4")))),
                qlonglong(1'000'000)});
    callPlayer(QStringLiteral("SetPosition"), {QVariant::fromValue(track), qlonglong(-1)});
    callPlayer(QStringLiteral("SetPosition"), {QVariant::fromValue(track), qlonglong(5'000'000)});
    callPlayer(QStringLiteral("SetPosition"), {QVariant::fromValue(track), qlonglong(3'000'000)});
    ASSERT_TRUE(at(3));
    ASSERT_TRUE(waitUntil([&] { return listener_.seeks.size() > 3; }));
    EXPECT_EQ(listener_.seeks.mid(3), QList<qlonglong>{3'000'000});

    // Past the end is the next movie, where there is one.
    QSignalSpy next(&service_, &MprisService::nextRequested);
    service_.setNavigation(true, true);
    callPlayer(QStringLiteral("Seek"), {qlonglong(2'000'000)});
    ASSERT_TRUE(waitUntil([&] { return next.size() == 1; }));
    EXPECT_NEAR(player->currentTime(), 3, 0.05);
}

TEST_F(MprisServiceTest, RequestsReachTheWindowOnlyWhereTheyLead) {
    QSignalSpy raise(&service_, &MprisService::raiseRequested);
    QSignalSpy quit(&service_, &MprisService::quitRequested);
    QSignalSpy next(&service_, &MprisService::nextRequested);
    QSignalSpy previous(&service_, &MprisService::previousRequested);
    QSignalSpy open(&service_, &MprisService::openRequested);

    // Requests arrive queued and in order: one that was dropped would arrive before the marker.
    auto requestAndMark = [&](const QString& interface, const QString& method, const QVariantList& arguments = {}) {
        const qsizetype marks = raise.size();
        call(interface, method, arguments);
        call(rootInterface, QStringLiteral("Raise"));
        EXPECT_TRUE(waitUntil([&] { return raise.size() == marks + 1; })) << method.toStdString();
    };

    service_.setNavigation(false, false);
    requestAndMark(playerInterface, QStringLiteral("Next"));
    requestAndMark(playerInterface, QStringLiteral("Previous"));
    requestAndMark(playerInterface, QStringLiteral("OpenUri"), {QStringLiteral("https://example.org/movie.mp4")});
    EXPECT_TRUE(next.isEmpty());
    EXPECT_TRUE(previous.isEmpty());
    EXPECT_TRUE(open.isEmpty());

    service_.setNavigation(true, true);
    EXPECT_EQ(playerProperty(QStringLiteral("CanGoNext")), true);
    EXPECT_EQ(playerProperty(QStringLiteral("CanGoPrevious")), true);
    requestAndMark(playerInterface, QStringLiteral("Next"));
    EXPECT_EQ(next.size(), 1);
    requestAndMark(playerInterface, QStringLiteral("Previous"));
    EXPECT_EQ(previous.size(), 1);
    requestAndMark(playerInterface, QStringLiteral("OpenUri"), {QStringLiteral("file:///movies/a%20b.mp4")});
    ASSERT_EQ(open.size(), 1);
    EXPECT_EQ(open.first().first().toString(), QStringLiteral("/movies/a b.mp4"));
    requestAndMark(rootInterface, QStringLiteral("Quit"));
    EXPECT_EQ(quit.size(), 1);
}

TEST(MprisServiceRegistration, WithoutABusOrWithTheNameTakenTheProgramRunsWithoutControls) {
    PrivateBus bus;
    ASSERT_TRUE(bus.isRunning()) << bus.error().toStdString();
    MprisService first;
    ASSERT_TRUE(first.registerOn(bus.connect(QStringLiteral("first"))));

    const struct {
        const char* name;
        QDBusConnection connection;
    } cases[] = {
        {"no bus",
         QDBusConnection::connectToBus(QStringLiteral("unix:path=/nonexistent/bus"), QStringLiteral("no-bus"))},
        {"name taken", bus.connect(QStringLiteral("second"))},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        DesktopLogCapture log;
        MprisService service;
        EXPECT_FALSE(service.registerOn(c.connection));
        EXPECT_FALSE(service.isRegistered());
        EXPECT_EQ(log.lines.size(), 1) << log.lines.join(QStringLiteral("\n")).toStdString();
    }
    QDBusConnection::disconnectFromBus(QStringLiteral("no-bus"));

    // The first keeps the name and answers.
    QDBusConnection client = bus.connect(QStringLiteral("client"));
    QDBusMessage get = QDBusMessage::createMethodCall(MprisService::busName(), MprisService::objectPath(),
                                                      propertiesInterface, QStringLiteral("Get"));
    get << rootInterface << QStringLiteral("Identity");
    const QDBusMessage reply = client.call(get, QDBus::BlockWithGui);
    ASSERT_EQ(reply.type(), QDBusMessage::ReplyMessage) << reply.errorMessage().toStdString();
    EXPECT_EQ(reply.arguments().value(0).value<QDBusVariant>().variant(), QString::fromUtf8(BuildInfo::name));
}

}  // namespace

#include "MprisServiceTest.moc"
