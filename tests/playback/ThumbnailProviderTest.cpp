#include "playback/ThumbnailProvider.h"

#include "TestMedia.h"

#include <gtest/gtest.h>
#include <QCoreApplication>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>

#include <memory>

namespace {

// What a provider answered, in order.
struct Answers {
    explicit Answers(ThumbnailProvider& provider) {
        QObject::connect(&provider, &ThumbnailProvider::thumbnailReady, &receiver,
                         [this](double seconds, const QImage& image) {
                             times.append(seconds);
                             images.append(image);
                         });
    }
    QObject receiver;
    QList<double> times;
    QList<QImage> images;
};

// testsrc clips with a keyframe every second (25 frames at 25 fps) and reordered frames
// (B-frames, so a keyframe is shown after it is decoded); testsrc's picture carries a running
// counter, so pictures of different seconds differ.
class ThumbnailProviderTest : public testing::Test {
protected:
    static void SetUpTestSuite() {
        folder_ = std::make_unique<QTemporaryDir>();
        square_ = make(QStringLiteral("square.mp4"), QStringLiteral("320x240"), QStringLiteral("1"));
        wide_ = make(QStringLiteral("wide.mp4"), QStringLiteral("320x240"), QStringLiteral("4/3"));
    }
    static void TearDownTestSuite() { folder_.reset(); }

    static QString make(const QString& name, const QString& size, const QString& sampleAspect) {
        const QString path = folder_->filePath(name);
        QProcess ffmpeg;
        ffmpeg.start(QStringLiteral("ffmpeg"),
                     {QStringLiteral("-hide_banner"), QStringLiteral("-loglevel"), QStringLiteral("error"),
                      QStringLiteral("-y"), QStringLiteral("-f"), QStringLiteral("lavfi"), QStringLiteral("-i"),
                      QStringLiteral("testsrc=size=%1:rate=25:duration=10").arg(size), QStringLiteral("-vf"),
                      QStringLiteral("setsar=%1").arg(sampleAspect), QStringLiteral("-c:v"), QStringLiteral("libx264"),
                      QStringLiteral("-preset"), QStringLiteral("veryfast"), QStringLiteral("-g"), QStringLiteral("25"),
                      QStringLiteral("-pix_fmt"), QStringLiteral("yuv420p"), path});
        if (!ffmpeg.waitForFinished(120000) || ffmpeg.exitCode() != 0)
            ADD_FAILURE() << "ffmpeg could not make " << path.toStdString();
        return path;
    }

    // The provider's answer to one request, once it arrived.
    static std::optional<QImage> ask(ThumbnailProvider& provider, double seconds) {
        Answers answers(provider);
        provider.request(seconds);
        if (!waitUntil([&] { return !answers.times.isEmpty(); }, 20000))
            return std::nullopt;
        EXPECT_EQ(answers.times.last(), seconds);
        return answers.images.last();
    }

    static inline std::unique_ptr<QTemporaryDir> folder_;
    static inline QString square_;
    static inline QString wide_;
};

}  // namespace

TEST_F(ThumbnailProviderTest, PicturesAre160WideInTheMoviesDisplayAspect) {
    struct Case {
        QString path;
        int height;
    };
    for (const Case& c : {Case{square_, 120}, Case{wide_, 90}}) {  // 320x240 at 1:1 and at 4:3 sample aspect
        ThumbnailProvider provider;
        provider.setMovie(c.path);
        const auto image = ask(provider, 3.5);
        ASSERT_TRUE(image) << c.path.toStdString();
        EXPECT_EQ(image->size(), QSize(ThumbnailProvider::width, c.height)) << c.path.toStdString();
        EXPECT_FALSE(image->isNull());
    }
}

TEST_F(ThumbnailProviderTest, ShowsTheKeyframeAtOrBeforeTheTimeAndCachesIt) {
    ThumbnailProvider provider;
    provider.setMovie(square_);
    const auto early = ask(provider, 1.0);
    const auto late = ask(provider, 8.0);
    ASSERT_TRUE(early && late);
    EXPECT_NE(*early, *late);
    const int decodes = provider.decodeCount();
    EXPECT_EQ(decodes, 2);

    // Anywhere within the keyframe interval of 8 s shows that keyframe, from the cache.
    const auto sameInterval = ask(provider, 8.9);
    ASSERT_TRUE(sameInterval);
    EXPECT_EQ(*sameInterval, *late);
    const auto again = ask(provider, 1.0);
    ASSERT_TRUE(again);
    EXPECT_EQ(*again, *early);
    EXPECT_EQ(provider.decodeCount(), decodes);

    // Decoded afresh, a time up to the next keyframe gives that same keyframe, never the next.
    for (const double seconds : {8.5, 8.99}) {
        ThumbnailProvider fresh;
        fresh.setMovie(square_);
        const auto decoded = ask(fresh, seconds);
        ASSERT_TRUE(decoded);
        EXPECT_EQ(*decoded, *late) << seconds;
        EXPECT_EQ(fresh.decodeCount(), 1);
    }

    // A new movie starts with an empty cache.
    provider.setMovie(square_);
    ASSERT_TRUE(ask(provider, 1.0));
    EXPECT_EQ(provider.decodeCount(), decodes + 1);
}

// A sweep of the pointer: requests overtaken before their decode began are never decoded,
// and the newest one is answered last.
TEST_F(ThumbnailProviderTest, OvertakenRequestsAreDropped) {
    ThumbnailProvider provider;
    provider.setMovie(square_);
    Answers answers(provider);
    QList<double> requested;
    for (int i = 0; i < 40; ++i) {
        requested.append(0.2 + i * 0.24);
        provider.request(requested.last());
    }
    ASSERT_TRUE(waitUntil([&] { return !answers.times.isEmpty() && answers.times.last() == requested.last(); }, 20000));
    ASSERT_TRUE(waitUntil([&] { return provider.isIdle(); }));
    QCoreApplication::processEvents();
    EXPECT_LE(provider.decodeCount(), 2);  // the one under way when the sweep began, and the last
    EXPECT_LE(answers.times.size(), 2);
    EXPECT_EQ(answers.times.last(), requested.last());
}

TEST_F(ThumbnailProviderTest, AFileWithoutDecodableVideoGivesNothing) {
    QTemporaryDir dir;
    const QString garbage = dir.filePath(QStringLiteral("garbage.mp4"));
    ASSERT_TRUE(writeFile(garbage, QByteArray(4096, 'x')));
    const QString audioOnly = dir.filePath(QStringLiteral("audio.mp4"));
    ASSERT_TRUE(makeClip(audioOnly, ClipShape{1.0, QStringLiteral("160x120"), true, false}));
    for (const QString& path : {garbage, audioOnly, dir.filePath(QStringLiteral("missing.mp4")), dir.path()}) {
        ThumbnailProvider provider;
        provider.setMovie(path);
        Answers answers(provider);
        provider.request(0.5);
        provider.request(0.7);
        ASSERT_TRUE(waitUntil([&] { return provider.isIdle(); })) << path.toStdString();
        provider.request(0.9);  // known to fail: not tried again
        EXPECT_TRUE(provider.isIdle());
        QCoreApplication::processEvents();
        EXPECT_TRUE(answers.times.isEmpty()) << path.toStdString();
        EXPECT_EQ(provider.decodeCount(), 0) << path.toStdString();
    }
}

// A provider may go, or change its movie, while its decode runs: nothing of the earlier
// decode reaches anyone, and the decoding thread is free for the next provider.
TEST_F(ThumbnailProviderTest, EndingOrChangingTheMovieMidDecodeIsSafe) {
    for (int round = 0; round < 5; ++round) {
        auto provider = std::make_unique<ThumbnailProvider>();
        provider->setMovie(square_);
        provider->request(4.0 + round);
        ASSERT_TRUE(waitUntil([&] { return provider->decodeCount() > 0; }));
        provider.reset();
    }

    ThumbnailProvider provider;
    provider.setMovie(square_);
    provider.request(6.0);
    ASSERT_TRUE(waitUntil([&] { return provider.decodeCount() > 0; }));
    Answers answers(provider);  // from here on, only the wide movie may answer
    provider.setMovie(wide_);
    provider.request(2.0);
    ASSERT_TRUE(waitUntil([&] { return provider.isIdle(); }, 20000));
    QCoreApplication::processEvents();
    ASSERT_EQ(answers.times, QList<double>{2.0});
    EXPECT_EQ(answers.images.first().height(), 90);  // the wide movie's picture
}
