#include "models/MediaProbe.h"

#include "TestMedia.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include <future>

using MediaProbe::MediaType;

namespace {

QList<MediaType> typesOf(const QList<MediaProbe::Track>& tracks) {
    QList<MediaType> types;
    for (const auto& track : tracks)
        types.append(track.type);
    return types;
}

}  // namespace

TEST(MediaProbe, MeasuresClipsAndListsTheirStreamsInFileOrder) {
    QTemporaryDir dir;
    struct Case {
        QString name;
        ClipShape shape;
        QList<MediaType> types;
    };
    const QList<Case> cases{
        {QStringLiteral("both.mp4"), {.seconds = 3.0}, {MediaType::video, MediaType::audio}},
        {QStringLiteral("both.mov"), {.seconds = 2.0}, {MediaType::video, MediaType::audio}},
        {QStringLiteral("silent.mp4"), {.seconds = 1.5, .audio = false}, {MediaType::video}},
        {QStringLiteral("sound.mp4"), {.seconds = 2.5, .video = false}, {MediaType::audio}},
        // Spaces, quotes, a colon, a newline and non-ASCII letters reach the file unchanged.
        {QStringLiteral("Ünïcödé 'quoted' \"x\" a:b\nline.mp4"),
         {.seconds = 1.0},
         {MediaType::video, MediaType::audio}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name.toStdString());
        const QString path = dir.filePath(c.name);
        ASSERT_TRUE(makeClip(path, c.shape));
        EXPECT_NEAR(MediaProbe::duration(path), c.shape.seconds, 0.1);
        const auto tracks = MediaProbe::tracks(path);
        ASSERT_TRUE(tracks.has_value());
        EXPECT_EQ(typesOf(*tracks), c.types);
        for (int i = 0; i < tracks->size(); ++i)
            EXPECT_EQ(tracks->at(i).index, i);
    }
}

TEST(MediaProbe, AnythingButAReadableMovieGivesNeutralResults) {
    QTemporaryDir dir;
    ASSERT_TRUE(makeClip(dir.filePath(QStringLiteral("whole.mp4"))));
    QFile whole(dir.filePath(QStringLiteral("whole.mp4")));
    ASSERT_TRUE(whole.open(QIODevice::ReadOnly));
    // ffmpeg writes the index at the end, so the first half holds no usable header.
    ASSERT_TRUE(writeFile(dir.filePath(QStringLiteral("truncated.mp4")), whole.read(whole.size() / 2)));
    ASSERT_TRUE(writeFile(dir.filePath(QStringLiteral("text.mp4")), "this is not a movie\n"));
    ASSERT_TRUE(writeFile(dir.filePath(QStringLiteral("empty.mov")), ""));
    ASSERT_TRUE(QDir(dir.path()).mkdir(QStringLiteral("folder.mp4")));
    ASSERT_EQ(mkfifo(QFile::encodeName(dir.filePath(QStringLiteral("pipe.mp4"))).constData(), 0600), 0);

    for (const QString& name : {QStringLiteral("truncated.mp4"), QStringLiteral("text.mp4"),
                                QStringLiteral("empty.mov"), QStringLiteral("folder.mp4"), QStringLiteral("pipe.mp4"),
                                QStringLiteral("missing.mp4"), QStringLiteral("")}) {
        SCOPED_TRACE(name.toStdString());
        const QString path = name.isEmpty() ? QString() : dir.filePath(name);
        EXPECT_EQ(MediaProbe::duration(path), 0.0);
        const auto tracks = MediaProbe::tracks(path);
        EXPECT_TRUE(!tracks || tracks->isEmpty());
    }
}

TEST(MediaProbe, FollowsSymlinksAndRelativePaths) {
    QTemporaryDir dir;
    ASSERT_TRUE(makeClip(dir.filePath(QStringLiteral("clip.mp4"))));
    ASSERT_TRUE(QFile::link(dir.filePath(QStringLiteral("clip.mp4")), dir.filePath(QStringLiteral("link.mp4"))));
    EXPECT_NEAR(MediaProbe::duration(dir.filePath(QStringLiteral("link.mp4"))), 3.0, 0.1);

    const QString previous = QDir::currentPath();
    ASSERT_TRUE(QDir::setCurrent(dir.path()));
    EXPECT_NEAR(MediaProbe::duration(QStringLiteral("clip.mp4")), 3.0, 0.1);
    QDir::setCurrent(previous);
}

TEST(MediaProbe, ProbesFromSeveralThreadsAtOnce) {
    QTemporaryDir dir;
    ASSERT_TRUE(makeClip(dir.filePath(QStringLiteral("clip.mp4"))));
    std::vector<std::future<double>> runs;
    for (int i = 0; i < 8; ++i)
        runs.push_back(std::async(std::launch::async,
                                  [&] { return MediaProbe::duration(dir.filePath(QStringLiteral("clip.mp4"))); }));
    for (auto& run : runs)
        EXPECT_NEAR(run.get(), 3.0, 0.1);
}
