// What the timeline's hover preview costs playback: frames mpv drops while the pointer sweeps
// back and forth over the timeline during playback of a 1080p H.264 clip (30 fps, a keyframe
// every 2 s), with the preview on and, for the same sweep, off. The pointer is moved on the
// display (the X server sends the motion), about 60 times a second, one way across the
// timeline in 2 s. With the preview on it also reports hover to picture: from the pointer
// reaching a tick until that tick's picture is up. The window is the transport bar over the
// video surface, as in the program, at the top of the screen. Needs a display; `make bench`
// runs it under Xvfb, which has no compositor: each move of the preview window exposes the
// video beneath it, which the video's own native window redraws without Qt composing the
// whole main window again.
#include "ScratchHome.h"
#include "core/Events.h"
#include "core/Records.h"
#include "playback/Player.h"
#include "playback/ThumbnailProvider.h"
#include "playback/TimelinePreview.h"
#include "playback/VideoPlayerView.h"
#include "playback/VideoSlider.h"
#include "playback/VideoToolbarView.h"

#include <QApplication>
#include <QCursor>
#include <QDeadlineTimer>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QHash>
#include <QMainWindow>
#include <QProcess>
#include <QTemporaryDir>
#include <QTimer>
#include <QToolBar>

#include <algorithm>
#include <clocale>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <functional>

namespace {

constexpr int clipSeconds = 40;
constexpr int sweepMs = 12000;     // of playback per run
constexpr int passMs = 2000;       // one way across the timeline
constexpr int pointerStepMs = 16;  // about 60 pointer moves a second
constexpr int runsPerMode = 3;     // alternating, off first

bool makeClip(const QString& path) {
    QProcess ffmpeg;
    ffmpeg.start(
        QStringLiteral("ffmpeg"),
        {QStringLiteral("-hide_banner"), QStringLiteral("-loglevel"), QStringLiteral("error"), QStringLiteral("-y"),
         QStringLiteral("-f"), QStringLiteral("lavfi"), QStringLiteral("-i"),
         QStringLiteral("testsrc2=size=1920x1080:rate=30:duration=%1").arg(clipSeconds), QStringLiteral("-c:v"),
         QStringLiteral("libx264"), QStringLiteral("-preset"), QStringLiteral("veryfast"), QStringLiteral("-g"),
         QStringLiteral("60"), QStringLiteral("-pix_fmt"), QStringLiteral("yuv420p"), path});
    return ffmpeg.waitForFinished(900000) && ffmpeg.exitCode() == 0;
}

bool waitFor(const std::function<bool()>& done, int timeoutMs) {
    QDeadlineTimer deadline(timeoutMs);
    while (!done()) {
        if (deadline.hasExpired())
            return false;
        QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
    }
    return true;
}

double median(QList<double> values) {
    if (values.isEmpty())
        return 0;
    std::sort(values.begin(), values.end());
    return values[values.size() / 2];
}

double worst(const QList<double>& values) {
    return values.isEmpty() ? 0 : *std::max_element(values.begin(), values.end());
}

struct Totals {
    QList<qint64> runs;  // frames dropped at the output in each run
    qint64 output = 0;   // frames dropped late at the output
    qint64 decoder = 0;  // frames the decoder dropped
    qint64 rendered = 0;
    qint64 ticks = 0;     // ticks the pointer entered
    qint64 pictures = 0;  // pictures the preview put up
    QList<double> latencyMs;
};

class Sweep {
public:
    Sweep(VideoPlayerView& video, VideoToolbarView& bar) : video_(video), bar_(bar), slider_(*bar.timeline()) {
        first_ = slider_.tickCenter(0).x();
        last_ = slider_.tickCenter(VideoSlider::tickCount - 1).x();
        QObject::connect(bar_.timelinePreview(), &TimelinePreview::pictureShown, &context_, [this](double seconds) {
            if (!totals_)
                return;
            ++totals_->pictures;
            const int tick = int(std::lround(seconds * 100.0 / clipSeconds));
            if (entered_.contains(tick))
                totals_->latencyMs << (clock_.nsecsElapsed() - entered_.value(tick)) / 1e6;
        });
        clock_.start();
    }

    // One sweep of `sweepMs` of playback from the start, the preview on or off.
    bool run(bool preview, Totals& totals) {
        Player* player = video_.player();
        bar_.timelinePreview()->setActive(preview);
        // mpv counts drops anew after a seek: the count starts once playback from 0 is under way.
        player->seek(0);
        player->play();
        if (!waitFor(
                [&] {
                    const double at = player->currentTime();
                    return player->isPlaying() && at > 0.3 && at < 2.0;  // the previous run ended at 12 s
                },
                10000))
            return false;
        const Player::DroppedFrames before = player->droppedFrames();
        const int renderedBefore = video_.framesRendered();
        totals_ = &totals;
        entered_.clear();
        int lastTick = -1;
        const qint64 start = clock_.nsecsElapsed();
        QTimer pointer;
        QObject::connect(&pointer, &QTimer::timeout, &context_, [&] {
            const double elapsed = (clock_.nsecsElapsed() - start) / 1e6;
            const double phase = std::fmod(elapsed, 2.0 * passMs) / passMs;  // 0..2
            const double share = phase <= 1 ? phase : 2 - phase;
            const double x = first_ + share * (last_ - first_);
            const QPoint at(int(std::lround(x)), slider_.height() / 2);
            QCursor::setPos(slider_.mapToGlobal(at));
            // Every tick the pointer crossed since the last step counts as entered now: a
            // late step jumps over some.
            const int tick = bar_.timelinePreview()->tickAt(at.x());
            if (tick != lastTick) {
                const qint64 now = clock_.nsecsElapsed();
                const int from = lastTick < 0 ? tick : lastTick + (tick > lastTick ? 1 : -1);
                for (int t = from;; t += tick > from ? 1 : -1) {
                    ++totals.ticks;
                    entered_.insert(t, now);
                    if (t == tick)
                        break;
                }
                lastTick = tick;
            }
        });
        pointer.start(pointerStepMs);
        waitFor([] { return false; }, sweepMs);
        pointer.stop();
        const Player::DroppedFrames after = player->droppedFrames();
        totals.output += after.output - before.output;
        totals.runs << after.output - before.output;
        totals.decoder += after.decoder - before.decoder;
        totals.rendered += video_.framesRendered() - renderedBefore;
        totals_ = nullptr;
        player->pause();
        // Off the timeline between runs: the preview hides and its last decode settles.
        QCursor::setPos(video_.mapToGlobal(video_.rect().center()));
        return waitFor([&] { return bar_.timelinePreview()->provider().isIdle(); }, 10000);
    }

private:
    VideoPlayerView& video_;
    VideoToolbarView& bar_;
    VideoSlider& slider_;
    double first_ = 0, last_ = 0;  // the centres of the first and last ticks
    QObject context_;
    QElapsedTimer clock_;
    Totals* totals_ = nullptr;
    QHash<int, qint64> entered_;  // tick -> when the pointer last entered it, ns
};

}  // namespace

int main(int argc, char** argv) {
    QTemporaryDir home(QDir::tempPath() + QStringLiteral("/reelnook-bench-XXXXXX"));
    useScratchHome(home.path());
    QApplication app(argc, argv);
    std::setlocale(LC_NUMERIC, "C");
    const QString clip = home.filePath(QStringLiteral("clip-1080p30-gop60.mp4"));
    std::printf("making a %d-s 1080p H.264 clip with ffmpeg...\n", clipSeconds);
    std::fflush(stdout);
    if (!makeClip(clip)) {
        std::fprintf(stderr, "could not make the 1080p clip (is ffmpeg installed?)\n");
        return 1;
    }

    QMainWindow window;
    auto* toolbar = window.addToolBar(QStringLiteral("Toolbar"));
    toolbar->setMovable(false);
    auto* bar = new VideoToolbarView(&window);
    toolbar->addWidget(bar);
    auto* video = new VideoPlayerView(Player::Options{true, false}, &window);
    window.setCentralWidget(video);
    // At the top of the screen, as a maximized window: the preview has no room above the
    // timeline and shows below it, over the video.
    window.move(0, 0);
    window.resize(1280, 760);
    window.show();
    if (!waitFor([&] { return window.isVisible() && video->isExposed(); }, 20000)) {
        std::fprintf(stderr, "no window with a GL context (is there a display?)\n");
        return 1;
    }
    const VideoItem item(QUrl::fromLocalFile(clip), QString(), QStringLiteral("clip"), QString(), ItemColor::white,
                         clipSeconds);
    Q_EMIT notify().videoSelected(item);
    video->setMovie(item.url(), item.duration);
    if (!waitFor([&] { return video->player() && video->player()->isLoaded() && video->framesRendered() > 0; },
                 30000)) {
        std::fprintf(stderr, "the clip did not play\n");
        return 1;
    }

    Sweep sweep(*video, *bar);
    Totals off, on;
    for (int run = 0; run < runsPerMode; ++run)
        for (const bool preview : {false, true}) {
            if (!sweep.run(preview, preview ? on : off)) {
                std::fprintf(stderr, "a sweep did not start or settle\n");
                return 1;
            }
        }

    const double seconds = runsPerMode * sweepMs / 1000.0;
    const auto line = [&](const char* name, const Totals& t) {
        QStringList runs;
        for (const qint64 dropped : t.runs)
            runs << QString::number(dropped);
        std::printf(
            "%-12s dropped: %lld at the output (per run: %s), %lld in the decoder; frames drawn %lld of ~%.0f; "
            "ticks entered %lld\n",
            name, static_cast<long long>(t.output), qPrintable(runs.join(QStringLiteral(", "))),
            static_cast<long long>(t.decoder), static_cast<long long>(t.rendered), seconds * 30,
            static_cast<long long>(t.ticks));
    };
    std::printf("sweeping the timeline during %.0f s of 1080p30 playback per mode (%d runs each, alternating):\n",
                seconds, runsPerMode);
    line("preview off", off);
    line("preview on", on);
    std::printf("hover to picture (preview on): %lld pictures shown; median %.1f ms, worst %.1f ms\n",
                static_cast<long long>(on.pictures), median(on.latencyMs), worst(on.latencyMs));
    return 0;
}
