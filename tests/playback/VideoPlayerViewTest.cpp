#include "PlaybackFixtures.h"

#include "core/Events.h"
#include "models/SidecarLoader.h"
#include "playback/Player.h"
#include "playback/VideoPlayerView.h"

#include <QImage>
#include <QSignalSpy>
#include <QVBoxLayout>

namespace {

constexpr int viewWidth = 480;
constexpr int viewHeight = 270;
const ClipShape picture{.seconds = 4, .size = QStringLiteral("480x270")};

class VideoPlayerViewTest : public PlaybackTest {
protected:
    void SetUp() override {
        QObject::connect(
            &notify(), &ApplicationEvents::videoLoaded, &observer_, [this](Player* player) { announced_ << player; },
            Qt::DirectConnection);
        QObject::connect(
            &notify(), &ApplicationEvents::videoCursorChanged, &observer_,
            [this](double seconds) { positions_ << seconds; }, Qt::DirectConnection);
    }

    // A shown surface without sound.
    std::unique_ptr<VideoPlayerView> surface() {
        auto view = std::make_unique<VideoPlayerView>(Player::Options{true, false});
        view->resize(viewWidth, viewHeight);
        view->show();
        return view;
    }

    // Opens `movie` and waits for its first picture, paused at `seconds`.
    static void openAt(VideoPlayerView& view, const QString& movie, double seconds) {
        const int before = view.framesRendered();
        view.setMovie(QUrl::fromLocalFile(movie), picture.seconds);
        ASSERT_TRUE(waitUntil([&] { return view.player()->isLoaded() && view.framesRendered() > before; }, 10000));
        QSignalSpy reported(view.player(), &Player::positionReported);
        view.player()->seek(seconds);
        ASSERT_TRUE(waitUntil([&] { return !reported.isEmpty(); }));
        settle();
    }

    // Lets mpv draw what it was last told.
    static void settle() {
        waitUntil([] { return false; }, 400);
    }

    QObject observer_;
    QList<Player*> announced_;
    QList<double> positions_;
};

// Rows of `image` whose pixels differ from `other`'s in the same place.
QList<int> differingRows(const QImage& image, const QImage& other) {
    QList<int> rows;
    const QImage a = image.convertToFormat(QImage::Format_RGB32);
    const QImage b = other.convertToFormat(QImage::Format_RGB32);
    if (a.size() != b.size())
        return {-1};
    for (int y = 0; y < a.height(); ++y) {
        const auto* lineA = reinterpret_cast<const QRgb*>(a.constScanLine(y));
        const auto* lineB = reinterpret_cast<const QRgb*>(b.constScanLine(y));
        int differing = 0;
        for (int x = 0; x < a.width(); ++x) {
            const int delta =
                std::max({std::abs(qRed(lineA[x]) - qRed(lineB[x])), std::abs(qGreen(lineA[x]) - qGreen(lineB[x])),
                          std::abs(qBlue(lineA[x]) - qBlue(lineB[x]))});
            differing += delta > 48;
        }
        if (differing > 2)
            rows << y;
    }
    return rows;
}

QImage black(const QSize& size) {
    QImage image(size, QImage::Format_RGB32);
    image.fill(Qt::black);
    return image;
}

TEST_F(VideoPlayerViewTest, EachUpdateAnnouncesTheSamePlayerAndDrawsTheMovie) {
    const QString movie = clip(QStringLiteral("announce.mp4"), picture);
    auto view = surface();
    EXPECT_TRUE(announced_.isEmpty());  // making the surface announces nothing

    view->setMovie(QUrl::fromLocalFile(movie), 4);
    ASSERT_EQ(announced_, QList<Player*>{view->player()});
    ASSERT_TRUE(waitUntil([&] { return view->framesRendered() > 0; }, 10000));
    const QImage frame = view->grabFramebuffer();
    EXPECT_EQ(frame.size(), QSize(viewWidth, viewHeight) * view->devicePixelRatioF());
    EXPECT_FALSE(differingRows(frame, black(frame.size())).isEmpty()) << "the picture is black";

    view->setMovie(QUrl::fromLocalFile(movie), 4);
    EXPECT_EQ(announced_, (QList<Player*>{view->player(), view->player()}));
    EXPECT_EQ(view->player()->currentItem()->range.duration.value, 4000);
}

TEST_F(VideoPlayerViewTest, PlayingReportsThePositionAboutOnceASecondOncePerSurface) {
    const QString movie = clip(QStringLiteral("report.mp4"), picture);
    auto view = surface();
    view->setMovie(QUrl::fromLocalFile(movie), 4);
    view->setMovie(QUrl::fromLocalFile(movie), 4);  // a second update adds no second report
    // Open and its first picture drawn: the reports of the opening are all in.
    ASSERT_TRUE(waitUntil([&] { return view->player()->isLoaded() && view->framesRendered() > 0; }, 10000));
    waitUntil([] { return false; }, 200);
    positions_.clear();

    view->player()->play();
    waitUntil([] { return false; }, 2600);
    view->player()->pause();

    // Start, 1 s, 2 s, stop.
    ASSERT_GE(positions_.size(), 3);
    EXPECT_LE(positions_.size(), 5);
    for (int i = 1; i < positions_.size(); ++i)
        EXPECT_GT(positions_[i], positions_[i - 1]);
    EXPECT_GT(positions_.last(), 2.0);
}

TEST_F(VideoPlayerViewTest, SubtitleStylesPlaceTheCueOrHideItAndKeepThePosition) {
    auto view = surface();
    // The same picture without any subtitle file, to compare with.
    openAt(*view, clip(QStringLiteral("plain.mp4"), picture), 1.0);
    const QImage plain = view->grabFramebuffer();

    const QString movie = clip(QStringLiteral("styled.mp4"), picture);
    writeSubtitles(movie, QStringLiteral("THE QUICK BROWN FOX"));
    openAt(*view, movie, 1.0);
    Player* player = view->player();
    const double position = player->currentTime();
    const int height = plain.height();

    VideoPlayerView::setSubtitleStyle(player, SubtitlePlacement::top);
    settle();
    const QList<int> top = differingRows(view->grabFramebuffer(), plain);
    ASSERT_FALSE(top.isEmpty()) << "no cue drawn at the top";
    EXPECT_LT(top.last(), height / 3);

    VideoPlayerView::setSubtitleStyle(player, SubtitlePlacement::bottom);
    settle();
    const QList<int> bottom = differingRows(view->grabFramebuffer(), plain);
    ASSERT_FALSE(bottom.isEmpty()) << "no cue drawn at the bottom";
    EXPECT_GT(bottom.first(), height * 2 / 3);

    VideoPlayerView::setSubtitleStyle(player, SubtitlePlacement::none);
    settle();
    EXPECT_TRUE(differingRows(view->grabFramebuffer(), plain).isEmpty());

    EXPECT_NEAR(player->currentTime(), position, 0.001);
    EXPECT_EQ(player->rate(), 0);
}

TEST_F(VideoPlayerViewTest, AtTheTopCuesShowingAtOnceAreStackedDownward) {
    auto view = surface();
    openAt(*view, clip(QStringLiteral("plain-stack.mp4"), picture), 1.0);
    const QImage plain = view->grabFramebuffer();
    // The height the cues take at the top: one cue alone, then two that overlap in time.
    const auto cueRows = [&](const QString& name, const QString& cues) {
        const QString movie = clip(name, picture);
        const QString vtt = writeSubtitles(movie);
        EXPECT_TRUE(writeFile(vtt, "WEBVTT\r\n\r\n" + cues.toUtf8()));
        openAt(*view, movie, 1.0);
        VideoPlayerView::setSubtitleStyle(view->player(), SubtitlePlacement::top);
        settle();
        return differingRows(view->grabFramebuffer(), plain);
    };
    const QList<int> one =
        cueRows(QStringLiteral("one-cue.mp4"), QStringLiteral("00:00:00.000 --> 00:01:00.000\r\nFIRST CUE\r\n\r\n"));
    const QList<int> two = cueRows(QStringLiteral("two-cues.mp4"),
                                   QStringLiteral("00:00:00.000 --> 00:01:00.000\r\nFIRST CUE\r\n\r\n"
                                                  "00:00:00.500 --> 00:01:00.000\r\nMark: SECOND\r\n\r\n"));
    ASSERT_FALSE(one.isEmpty()) << "no cue drawn";
    ASSERT_FALSE(two.isEmpty()) << "no cue drawn";
    EXPECT_GT(two.size(), one.size() * 3 / 2) << "the second cue is not drawn beside the first";
    EXPECT_EQ(two.first(), one.first()) << "the first cue moved";
    EXPECT_LT(two.last(), viewHeight / 2);
}

TEST_F(VideoPlayerViewTest, AMissingMovieLeavesTheSurfaceBlack) {
    auto view = surface();
    openAt(*view, clip(QStringLiteral("before.mp4"), picture), 1.0);
    const QString missing = folder_.filePath(QStringLiteral("gone.mp4"));
    QSignalSpy finished(view->player(), &Player::loadFinished);
    view->setMovie(QUrl::fromLocalFile(missing), 4);
    EXPECT_EQ(announced_.size(), 2);
    ASSERT_TRUE(waitUntil([&] { return !finished.isEmpty(); }, 10000));
    EXPECT_FALSE(finished.first().first().toBool());
    settle();
    const QImage frame = view->grabFramebuffer();
    EXPECT_TRUE(differingRows(frame, black(frame.size())).isEmpty()) << "not black";

    VideoPlayerView::setSubtitleStyle(view->player(), SubtitlePlacement::top);
    view->player()->play();
    view->player()->seek(2);
    EXPECT_EQ(view->player()->rate(), 0);
}

TEST_F(VideoPlayerViewTest, KeepsDrawingAfterMovingToAnotherWindow) {
    auto view = surface();
    openAt(*view, clip(QStringLiteral("moved.mp4"), picture), 1.0);
    const double position = view->player()->currentTime();

    // A new top-level window takes the surface's own window along; the movie stays where it is
    // and its next pictures are drawn there.
    QWidget window;
    auto* layout = new QVBoxLayout(&window);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(view.get());
    window.resize(viewWidth, viewHeight);
    window.show();
    ASSERT_TRUE(waitUntil([&] { return view->isExposed(); }, 10000));
    EXPECT_NEAR(view->player()->currentTime(), position, 0.05);
    const int before = view->framesRendered();
    view->player()->seek(position + 0.5);
    ASSERT_TRUE(waitUntil([&] { return view->framesRendered() > before; }, 10000));
    const QImage frame = view->grabFramebuffer();
    EXPECT_FALSE(differingRows(frame, black(frame.size())).isEmpty()) << "the picture is black";
    layout->removeWidget(view.get());
    view->setParent(nullptr);
}

TEST_F(VideoPlayerViewTest, OpensTheMovieBeforeTheSurfaceIsOnScreen) {
    const QString movie = clip(QStringLiteral("hidden.mp4"), picture);
    VideoPlayerView view(Player::Options{true, false});
    view.resize(viewWidth, viewHeight);
    view.setMovie(QUrl::fromLocalFile(movie), 4);
    view.player()->seek(2.0);
    // The movie opens while the window is still hidden; its first picture waits for the screen.
    ASSERT_TRUE(waitUntil([&] { return view.player()->isLoaded(); }, 10000));
    waitUntil([] { return false; }, 300);
    EXPECT_EQ(view.framesRendered(), 0);
    EXPECT_EQ(announced_.size(), 1);

    view.show();
    ASSERT_TRUE(waitUntil([&] { return view.framesRendered() > 0; }, 10000));
    EXPECT_NEAR(view.player()->currentTime(), 2.0, 0.05);
    const QImage frame = view.grabFramebuffer();
    EXPECT_FALSE(differingRows(frame, black(frame.size())).isEmpty()) << "the picture is black";

    // A surface that was never shown goes away cleanly, with its player.
    auto unseen = std::make_unique<VideoPlayerView>(Player::Options{true, false});
    unseen->setMovie(QUrl::fromLocalFile(movie), 4);
    unseen.reset();
}

TEST_F(VideoPlayerViewTest, TheMoviesOwnSubtitleShowsAtTheTopAndTheMarksStayAtTheBottom) {
    auto view = surface();
    const QString movie = folder_.filePath(QStringLiteral("own-track.mkv"));
    ASSERT_TRUE(makeClipWithTracks(movie, QStringLiteral("OWN SUBTITLE TEXT")));
    writeSubtitles(movie, QStringLiteral("THE MARKS CUE"));
    openAt(*view, movie, 1.0);
    Player* player = view->player();
    VideoPlayerView::setSubtitleStyle(player, SubtitlePlacement::none);
    settle();
    const QImage plain = view->grabFramebuffer();
    const int height = plain.height();
    VideoPlayerView::setSubtitleStyle(player, SubtitlePlacement::bottom);
    ASSERT_TRUE(waitUntil([&] { return !differingRows(view->grabFramebuffer(), plain).isEmpty(); }))
        << "no marks drawn";
    const QImage marks = view->grabFramebuffer();

    player->setMovieSubtitleTrack(1);
    ASSERT_TRUE(waitUntil([&] { return !differingRows(view->grabFramebuffer(), marks).isEmpty(); }))
        << "the movie's subtitle is not drawn";
    settle();
    const QImage both = view->grabFramebuffer();
    const QList<int> added = differingRows(both, marks);
    ASSERT_FALSE(added.isEmpty());
    EXPECT_LT(added.last(), height / 3) << "the movie's subtitle is not at the top";
    const QList<int> overPlain = differingRows(both, plain);
    EXPECT_FALSE(overPlain.isEmpty() || overPlain.last() < height * 2 / 3) << "the marks went";
}

TEST_F(VideoPlayerViewTest, AMessageShowsOverThePictureForAMoment) {
    auto view = surface();
    openAt(*view, clip(QStringLiteral("message.mp4"), picture), 1.0);
    const QImage plain = view->grabFramebuffer();
    QSignalSpy shown(view->player(), &Player::messageShown);
    view->player()->showMessage(QStringLiteral("VOLUME 50 %"), 1000);
    ASSERT_TRUE(waitUntil([&] { return !differingRows(view->grabFramebuffer(), plain).isEmpty(); }))
        << "no message drawn";
    EXPECT_LT(differingRows(view->grabFramebuffer(), plain).last(), plain.height() / 3);
    ASSERT_TRUE(waitUntil([&] { return !shown.isEmpty(); }));
    EXPECT_EQ(shown.first().first().toString(), QStringLiteral("VOLUME 50 %"));
    EXPECT_TRUE(waitUntil([&] { return differingRows(view->grabFramebuffer(), plain).isEmpty(); }))
        << "the message stays";
}

TEST(VideoPlayerViewStyle, WithoutAnItemOrPlayerNothingHappens) {
    VideoPlayerView::setSubtitleStyle(nullptr, SubtitlePlacement::top);
    Player player(Player::Options{false, false});
    VideoPlayerView::setSubtitleStyle(&player, SubtitlePlacement::top);
    EXPECT_FALSE(player.currentItem());
}

}  // namespace

TEST_F(VideoPlayerViewTest, ALargeSidecarsCueShowsOnceItsSubtitleFileIsWritten) {
    auto view = surface();
    openAt(*view, clip(QStringLiteral("plain-large.mp4"), picture), 1.0);
    const QImage plain = view->grabFramebuffer();

    const QString movie = clip(QStringLiteral("large.mp4"), picture);
    QByteArray srt = "1\r\n00:00:00,000 --> 00:00:03,900\r\nTHE QUICK BROWN FOX\r\n\r\n";
    for (int i = 0; srt.size() <= SidecarLoader::largeFileBytes; ++i)  // after the movie's end
        srt += "1\r\n00:20:00,000 --> 00:20:01,000\r\nMark: later " + QByteArray::number(i) + "\r\n\r\n";
    ASSERT_TRUE(writeFile(folder_.filePath(QStringLiteral("large.srt")), srt));
    const QUrl url = QUrl::fromLocalFile(movie);
    written_ << SidecarLoader::shared().playerFile(url).path;
    // As the window opens a movie: the sidecar first, then the surface.
    SidecarLoader::shared().open(url, picture.seconds);
    const int before = view->framesRendered();
    view->setMovie(url, picture.seconds);
    Player* player = view->player();
    EXPECT_FALSE(player->isOpening());
    QSignalSpy reported(player, &Player::positionReported);
    player->seek(1.0);  // asked for before the movie opens

    ASSERT_TRUE(waitUntil([&] { return player->isLoaded() && view->framesRendered() > before; }, 30000));
    ASSERT_TRUE(waitUntil([&] { return !reported.isEmpty(); }));
    EXPECT_NEAR(reported.last().first().toDouble(), 1.0, 0.05);
    settle();
    EXPECT_FALSE(differingRows(view->grabFramebuffer(), plain).isEmpty()) << "no cue drawn";
}
