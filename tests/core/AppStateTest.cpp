#include "TestEnv.h"
#include "TestMedia.h"
#include "core/AppState.h"

#include <gtest/gtest.h>
#include <QDir>
#include <QFile>
#include <QSettings>

namespace {

Config loaded(const QByteArray& json, Config start = {}) {
    const QString path = testHome() + QStringLiteral("/config.json");
    EXPECT_TRUE(writeFile(path, json));
    start.load(path);
    return start;
}

}  // namespace

TEST(Config, HoldsTheDefaults) {
    Config c;
    EXPECT_EQ(c.username, QStringLiteral(""));
    EXPECT_EQ(c.email, QStringLiteral(""));
    EXPECT_EQ(c.moviesPath, QStringLiteral("VantriMovies"));
}

TEST(Config, LoadsAllThreeKeysOrNothing) {
    struct Case {
        const char* name;
        QByteArray json;
        bool applies;
    };
    const Case cases[] = {
        {"complete", R"({"username":"u","email":"e","moviesPath":"M"})", true},
        {"extra key ignored", R"({"username":"u","email":"e","moviesPath":"M","n":4})", true},
        {"missing moviesPath", R"({"username":"u","email":"e"})", false},
        {"number", R"({"username":"u","email":"e","moviesPath":4})", false},
        {"null", R"({"username":"u","email":"e","moviesPath":null})", false},
        {"array", R"(["u","e","M"])", false},
        {"not json", "username=u", false},
        {"empty", "", false},
        {"trailing garbage", R"({"username":"u","email":"e","moviesPath":"M"} x)", false},
    };
    Config before;
    before.username = QStringLiteral("old-u");
    before.email = QStringLiteral("old-e");
    before.moviesPath = QStringLiteral("Old");
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const Config after = loaded(c.json, before);
        if (c.applies) {
            EXPECT_EQ(after.username, QStringLiteral("u"));
            EXPECT_EQ(after.email, QStringLiteral("e"));
            EXPECT_EQ(after.moviesPath, QStringLiteral("M"));
        } else {
            EXPECT_EQ(after.username, QStringLiteral("old-u"));
            EXPECT_EQ(after.email, QStringLiteral("old-e"));
            EXPECT_EQ(after.moviesPath, QStringLiteral("Old"));
        }
    }
}

TEST(Config, MissingOrUnreadableFileChangesNothing) {
    Config c;
    c.load(testHome() + QStringLiteral("/does-not-exist.json"));
    EXPECT_EQ(c.moviesPath, QStringLiteral("VantriMovies"));

    const QString path = testHome() + QStringLiteral("/unreadable.json");
    ASSERT_TRUE(writeFile(path, R"({"username":"u","email":"e","moviesPath":"M"})"));
    QFile::setPermissions(path, QFileDevice::Permissions());
    QFile probe(path);
    if (probe.open(QIODevice::ReadOnly))
        GTEST_SKIP() << "running with rights that read any file";
    c.load(path);
    EXPECT_EQ(c.moviesPath, QStringLiteral("VantriMovies"));
}

TEST(Config, ResourceLiesInTheSharedDataFolderOfThePrefix) {
    EXPECT_TRUE(Config::resourcePath().endsWith(QStringLiteral("/share/reelnook/config.json")));
    // The build tree keeps the defaults there too.
    Config c;
    c.username = QStringLiteral("x");
    c.load();
    EXPECT_EQ(c.username, QStringLiteral(""));
    EXPECT_EQ(c.moviesPath, QStringLiteral("VantriMovies"));
}

TEST(Global, MoviesFolderFollowsTheConfiguredPath) {
    EXPECT_EQ(global().moviesURL.toLocalFile(), testHome() + QStringLiteral("/Videos"));
    const QString saved = config().moviesPath;
    config().moviesPath = QStringLiteral("Work/Clips");
    EXPECT_EQ(global().moviesFolder(), testHome() + QStringLiteral("/Videos/Work/Clips"));
    config().moviesPath = saved;
    EXPECT_EQ(global().moviesFolder(), testHome() + QStringLiteral("/Videos/VantriMovies"));

    global().setMoviesFolderOverride(testHome() + QStringLiteral("/elsewhere/"));
    EXPECT_EQ(global().moviesFolder(), testHome() + QStringLiteral("/elsewhere"));
    global().setMoviesFolderOverride({});
    EXPECT_EQ(global().moviesFolder(), testHome() + QStringLiteral("/Videos/VantriMovies"));
}

TEST(UserCache, IsTheProgramsOwnFolderAndIsCreated) {
    const QString path = userCachePath();
    EXPECT_EQ(path, testHome() + QStringLiteral("/.cache/reelnook"));
    EXPECT_TRUE(QDir(path).exists());
    EXPECT_EQ(userCacheURL().toLocalFile(), path + QStringLiteral("/"));
}

TEST(User, SettingsLiveInTheConfigHome) {
    user().setValue("volume", 0.25);
    user().sync();
    EXPECT_TRUE(QFile::exists(testHome() + QStringLiteral("/.config/reelnook/reelnook.conf")));
}

TEST(User, MissingChoicesReadAsFullVolumeAndSubtitlesAtTheBottom) {
    struct Case {
        const char* name;
        QVariant volume;  // invalid: the key is not stored
        QVariant style;
        double readVolume;
        SubtitlePlacement readStyle;
    };
    const Case cases[] = {
        {"first run", {}, {}, 1.0, SubtitlePlacement::bottom},
        {"silent, no subtitles", 0.0, 0, 0.0, SubtitlePlacement::none},
        {"stored zeros as integers", 0, 0, 0.0, SubtitlePlacement::none},
        {"quiet, top", 0.3, 1, 0.3, SubtitlePlacement::top},
        {"full, bottom", 1.0, 2, 1.0, SubtitlePlacement::bottom},
        {"only the volume stored", 0.0, {}, 0.0, SubtitlePlacement::bottom},
        {"only the style stored", {}, 0, 1.0, SubtitlePlacement::none},
        {"volume above the range", 1.5, 1, 1.0, SubtitlePlacement::top},
        {"volume below the range", -0.2, 1, 0.0, SubtitlePlacement::top},
        {"volume not a number", QStringLiteral("loud"), 1, 0.0, SubtitlePlacement::top},
        {"style above the range", {}, 7, 1.0, SubtitlePlacement::bottom},
        {"style below the range", {}, -1, 1.0, SubtitlePlacement::none},
    };
    const QString file = testHome() + QStringLiteral("/.config/reelnook/reelnook.conf");
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        user().remove("volume");
        user().remove("subtitleStyle");
        if (c.volume.isValid())
            user().setValue("volume", c.volume);
        if (c.style.isValid())
            user().setValue("subtitleStyle", c.style);
        user().sync();
        ASSERT_EQ(user().status(), QSettings::NoError);

        EXPECT_DOUBLE_EQ(userVolume(), c.readVolume);
        EXPECT_EQ(userSubtitlePlacement(), c.readStyle);
        // The same from the file on disk, as the next launch reads it.
        const QSettings reopened(file, QSettings::IniFormat);
        EXPECT_EQ(reopened.contains("volume"), c.volume.isValid());
        EXPECT_DOUBLE_EQ(userVolume(reopened), c.readVolume);
        EXPECT_EQ(userSubtitlePlacement(reopened), c.readStyle);
    }
    user().remove("volume");
    user().remove("subtitleStyle");
}
