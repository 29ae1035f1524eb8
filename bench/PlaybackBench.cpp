// Time until the first picture of a 1080p H.264 clip is on screen: on the video surface from
// setting its movie (window and GL context already up), and with the mpv command-line player
// (--vo=gpu --gpu-sw, as it needs under Xvfb) both from its launch and from the moment it
// opens the file. Needs a display; `make bench` runs it under Xvfb.
#include "playback/VideoPlayerView.h"

#include <benchmark/benchmark.h>
#include <QApplication>
#include <QDeadlineTimer>
#include <QElapsedTimer>
#include <QProcess>
#include <QRegularExpression>
#include <QTemporaryDir>

#include <algorithm>
#include <clocale>
#include <cstdio>
#include <functional>

namespace {

QString clip;
QList<double> surfaceMs;
QList<double> mpvLaunchMs;
QList<double> mpvOpenMs;

bool makeClip(const QString& path) {
    QProcess ffmpeg;
    ffmpeg.start(QStringLiteral("ffmpeg"), {QStringLiteral("-hide_banner"),
                                            QStringLiteral("-loglevel"),
                                            QStringLiteral("error"),
                                            QStringLiteral("-y"),
                                            QStringLiteral("-f"),
                                            QStringLiteral("lavfi"),
                                            QStringLiteral("-i"),
                                            QStringLiteral("testsrc=size=1920x1080:rate=30:duration=5"),
                                            QStringLiteral("-f"),
                                            QStringLiteral("lavfi"),
                                            QStringLiteral("-i"),
                                            QStringLiteral("sine=duration=5"),
                                            QStringLiteral("-c:v"),
                                            QStringLiteral("libx264"),
                                            QStringLiteral("-preset"),
                                            QStringLiteral("veryfast"),
                                            QStringLiteral("-pix_fmt"),
                                            QStringLiteral("yuv420p"),
                                            QStringLiteral("-c:a"),
                                            QStringLiteral("aac"),
                                            path});
    return ffmpeg.waitForFinished(300000) && ffmpeg.exitCode() == 0;
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

void BM_SurfaceFirstFrame(benchmark::State& state) {
    VideoPlayerView view(Player::Options{true, false});
    view.resize(1920, 1080);
    view.show();
    if (!waitFor([&] { return view.isExposed(); }, 20000)) {
        state.SkipWithError("the surface never came on screen");
        return;
    }
    // The picture counts once it was put on screen.
    int before = 0;
    qint64 shownNs = 0;
    QElapsedTimer timer;
    QObject::connect(&view, &VideoPlayerView::frameRendered, [&] {
        if (!shownNs && view.framesRendered() > before)
            shownNs = timer.nsecsElapsed();
    });
    for (auto _ : state) {
        before = view.framesRendered();
        shownNs = 0;
        timer.start();
        view.setMovie(QUrl::fromLocalFile(clip), 5.0);
        if (!waitFor([&] { return shownNs != 0; }, 20000)) {
            state.SkipWithError("no picture");
            return;
        }
        const double ms = shownNs / 1e6;
        state.SetIterationTime(ms / 1000);
        surfaceMs << ms;
    }
}
BENCHMARK(BM_SurfaceFirstFrame)->UseManualTime()->Iterations(10)->Unit(benchmark::kMillisecond);

// mpv stamps its log lines with the seconds since it started.
std::optional<double> stampOf(const QString& log, const QString& message) {
    const QRegularExpression line(QStringLiteral("^\\[\\s*([0-9.]+)\\]\\s*") + QRegularExpression::escape(message),
                                  QRegularExpression::MultilineOption);
    const QRegularExpressionMatch match = line.match(log);
    if (!match.hasMatch())
        return std::nullopt;
    return match.captured(1).toDouble();
}

void BM_MpvCommandLineFirstFrame(benchmark::State& state) {
    for (auto _ : state) {
        QProcess mpv;
        mpv.setProcessChannelMode(QProcess::MergedChannels);
        mpv.start(QStringLiteral("mpv"),
                  {QStringLiteral("--no-config"), QStringLiteral("--vo=gpu"), QStringLiteral("--gpu-sw"),
                   QStringLiteral("--ao=null"), QStringLiteral("--frames=1"), QStringLiteral("-v"),
                   QStringLiteral("--msg-time"), clip});
        if (!mpv.waitForFinished(60000)) {
            state.SkipWithError("mpv did not finish (is it installed?)");
            return;
        }
        const QString log = QString::fromUtf8(mpv.readAll());
        const auto opening = stampOf(log, QStringLiteral("[file] Opening"));
        const auto shown = stampOf(log, QStringLiteral("[cplayer] first video frame after restart shown"));
        if (!opening || !shown) {
            state.SkipWithError("mpv showed no picture");
            return;
        }
        state.SetIterationTime(*shown);
        mpvLaunchMs << *shown * 1000;
        mpvOpenMs << (*shown - *opening) * 1000;
    }
}
BENCHMARK(BM_MpvCommandLineFirstFrame)->UseManualTime()->Iterations(5)->Unit(benchmark::kMillisecond);

}  // namespace

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    std::setlocale(LC_NUMERIC, "C");
    QTemporaryDir folder;
    clip = folder.filePath(QStringLiteral("clip-1080p.mp4"));
    if (!makeClip(clip)) {
        std::fprintf(stderr, "could not make the 1080p clip (is ffmpeg installed?)\n");
        return 1;
    }
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();

    const double surface = median(surfaceMs), launch = median(mpvLaunchMs), open = median(mpvOpenMs);
    std::printf(
        "first picture of a 1080p H.264 clip on screen (medians): surface from setMovie %.1f ms; "
        "mpv --vo=gpu --gpu-sw from launch %.1f ms, from opening the file %.1f ms; "
        "ratio surface/mpv %.2f from launch, %.2f from opening (target at most 1.2)\n",
        surface, launch, open, launch > 0 ? surface / launch : 0.0, open > 0 ? surface / open : 0.0);
    return 0;
}
