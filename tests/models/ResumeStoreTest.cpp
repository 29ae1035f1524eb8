#include "models/ResumeStore.h"

#include "TestEnv.h"
#include "TestMedia.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSettings>
#include <QTemporaryDir>
#include <functional>

namespace {

// A folder of movie files and a positions file of the test's own; the store is read afresh
// from the file wherever a test checks what was kept.
class ResumeStoreTest : public testing::Test {
protected:
    QUrl movie(const QString& name, const QByteArray& bytes = QByteArrayLiteral("movie bytes")) {
        const QString path = movies_.filePath(name);
        EXPECT_TRUE(writeFile(path, bytes));
        return QUrl::fromLocalFile(path);
    }
    QUrl at(const QString& name) const { return QUrl::fromLocalFile(movies_.filePath(name)); }
    ResumeStore reopened() const { return ResumeStore(positions_); }

    QTemporaryDir movies_;
    QTemporaryDir data_;
    const QString positions_ = data_.filePath(QStringLiteral("reelnook/positions.json"));
};

}  // namespace

TEST_F(ResumeStoreTest, RemembersAcrossRunsAndFollowsTheFileIdentity) {
    const QUrl first = movie(QStringLiteral("first.mp4"));
    ResumeStore store(positions_);
    ASSERT_TRUE(store.remember(first, 42.5, 100));
    EXPECT_EQ(reopened().position(first, 100), 42.5);

    // Renamed: the same file under another name keeps its place; the old name knows nothing.
    ASSERT_TRUE(QFile::rename(first.toLocalFile(), movies_.filePath(QStringLiteral("renamed.mp4"))));
    EXPECT_EQ(reopened().position(at(QStringLiteral("renamed.mp4")), 100), 42.5);

    // Another file of another size put at a remembered name is another movie.
    const QUrl second = movie(QStringLiteral("second.mp4"));
    ASSERT_TRUE(store.remember(second, 30, 100));
    ASSERT_TRUE(QFile::remove(second.toLocalFile()));
    movie(QStringLiteral("second.mp4"), QByteArrayLiteral("a longer, different movie"));
    EXPECT_EQ(reopened().position(second, 100), std::nullopt);

    // A later position replaces the earlier one.
    ASSERT_TRUE(store.remember(at(QStringLiteral("renamed.mp4")), 61, 100));
    EXPECT_EQ(reopened().position(at(QStringLiteral("renamed.mp4")), 100), 61);
}

TEST_F(ResumeStoreTest, OpensAtZeroNearEitherEnd) {
    struct Case {
        double seconds;
        double duration;
        std::optional<double> expected;
    };
    const QList<Case> cases{
        {4.9, 100, std::nullopt},  {5, 100, 5}, {95, 100, 95},
        {95.1, 100, std::nullopt}, {50, 0, 50},  // length unknown: only the start counts
        {2, 0, std::nullopt},
    };
    const QUrl file = movie(QStringLiteral("movie.mp4"));
    for (const Case& c : cases) {
        ResumeStore store(positions_);
        ASSERT_TRUE(store.remember(file, 50, 100));  // something known before
        ASSERT_TRUE(store.remember(file, c.seconds, c.duration));
        EXPECT_EQ(reopened().position(file, c.duration), c.expected) << c.seconds << " of " << c.duration;
    }
    // A position read against a shorter length than it was saved with falls near the end.
    ResumeStore store(positions_);
    ASSERT_TRUE(store.remember(file, 58, 100));
    EXPECT_EQ(store.position(file, 60), std::nullopt);
}

TEST_F(ResumeStoreTest, ADamagedOrForeignFileIsIgnoredAndReplaced) {
    const QUrl file = movie(QStringLiteral("movie.mp4"));
    for (const QByteArray& bytes : {QByteArrayLiteral("{\"format\": \"reelnook-pos"), QByteArrayLiteral("[1, 2, 3]"),
                                    QByteArrayLiteral("{\"format\": \"other\", \"version\": 1, \"movies\": []}")}) {
        ASSERT_TRUE(writeFile(positions_, bytes));
        ResumeStore store(positions_);
        EXPECT_EQ(store.position(file, 100), std::nullopt) << bytes.constData();
        ASSERT_TRUE(store.remember(file, 20, 100));
        EXPECT_EQ(reopened().position(file, 100), 20) << bytes.constData();
    }
}

// What is no regular file of a sane size is not read (a FIFO would block the start, a device
// or a huge file would fill memory), and a save replaces it.
TEST_F(ResumeStoreTest, OnlyARegularFileOfBoundedSizeIsRead) {
    const QUrl file = movie(QStringLiteral("movie.mp4"));
    ASSERT_TRUE(QDir().mkpath(QFileInfo(positions_).absolutePath()));
    const struct {
        const char* what;
        std::function<bool()> make;
    } cases[] = {
        {"a FIFO", [&] { return ::mkfifo(QFile::encodeName(positions_).constData(), 0600) == 0; }},
        {"a link to /dev/zero", [&] { return QFile::link(QStringLiteral("/dev/zero"), positions_); }},
        {"a sparse file beyond the limit",
         [&] {
             return writeFile(positions_, "{\"format\": \"reelnook-positions\", \"version\": 1, \"movies\": []}") &&
                    QFile::resize(positions_, ResumeStore::maxFileBytes + 1);
         }},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        QFile::remove(positions_);
        ASSERT_TRUE(c.make());
        ResumeStore store(positions_);
        EXPECT_EQ(store.position(file, 100), std::nullopt);
        ASSERT_TRUE(store.remember(file, 20, 100));
        EXPECT_EQ(reopened().position(file, 100), 20);
    }
}

TEST_F(ResumeStoreTest, KeepsOnlyTheMostRecentMovies) {
    ResumeStore store(positions_);
    const int count = ResumeStore::capacity + 1;
    for (int i = 0; i < count; ++i)
        ASSERT_TRUE(store.remember(movie(QStringLiteral("movie %1.mp4").arg(i), QByteArray::number(i)), 10 + i, 1000));
    EXPECT_EQ(ResumeStore(positions_).position(at(QStringLiteral("movie 0.mp4")), 1000), std::nullopt);
    EXPECT_EQ(ResumeStore(positions_).position(at(QStringLiteral("movie 1.mp4")), 1000), 11);
    EXPECT_EQ(ResumeStore(positions_).position(at(QStringLiteral("movie %1.mp4").arg(count - 1)), 1000),
              10 + count - 1);
}

TEST_F(ResumeStoreTest, WritesOnlyIntoTheProgramsDataFolder) {
    const QUrl file = movie(QStringLiteral("movie.mp4"));
    const QStringList before = QDir(movies_.path()).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot);
    ResumeStore store;  // the default place
    ASSERT_TRUE(store.remember(file, 33, 100));
    EXPECT_EQ(QDir(movies_.path()).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot), before);
    EXPECT_EQ(ResumeStore::defaultPath(), testHome() + QStringLiteral("/.local/share/reelnook/positions.json"));
    EXPECT_TRUE(QFile::exists(ResumeStore::defaultPath()));
    EXPECT_EQ(ResumeStore().position(file, 100), 33);
}

TEST_F(ResumeStoreTest, TheResumeChoiceIsOnUntilTurnedOff) {
    QSettings settings(data_.filePath(QStringLiteral("settings.ini")), QSettings::IniFormat);
    EXPECT_TRUE(ResumeStore::enabled(settings));
    ResumeStore::setEnabled(settings, false);
    settings.sync();
    EXPECT_FALSE(ResumeStore::enabled(QSettings(data_.filePath(QStringLiteral("settings.ini")), QSettings::IniFormat)));
}

TEST_F(ResumeStoreTest, AnUnwritableFolderIsReported) {
    const QUrl file = movie(QStringLiteral("movie.mp4"));
    ASSERT_TRUE(writeFile(data_.filePath(QStringLiteral("blocker")), QByteArrayLiteral("a file, not a folder")));
    ResumeStore store(data_.filePath(QStringLiteral("blocker/positions.json")));
    EXPECT_FALSE(store.remember(file, 40, 100));
    EXPECT_EQ(store.position(file, 100), 40);  // still known for this run
}
