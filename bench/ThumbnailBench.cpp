// Hover to thumbnail on the timeline: time from ThumbnailProvider::request() until its
// thumbnailReady() arrives on the main thread, for a 1080p H.264 clip with a keyframe every
// 2 s (25 fps, -g 50), over 30 random times in different keyframe intervals (the file already
// open, as while the pointer moves over the timeline); plus the first request after
// setMovie(), which opens the file, and a hover again over a cached interval.
#include "playback/ThumbnailProvider.h"

#include <benchmark/benchmark.h>
#include <QCoreApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QProcess>
#include <QRandomGenerator>
#include <QTemporaryDir>
#include <QTimer>

#include <algorithm>
#include <cstdio>

namespace {

constexpr int clipSeconds = 64;
constexpr int keyframeSeconds = 2;
QString clip;
QList<double> hoverMs;
QList<double> openMs;
QList<double> cachedMs;

bool makeClip(const QString& path) {
    QProcess ffmpeg;
    ffmpeg.start(
        QStringLiteral("ffmpeg"),
        {QStringLiteral("-hide_banner"), QStringLiteral("-loglevel"), QStringLiteral("error"), QStringLiteral("-y"),
         QStringLiteral("-f"), QStringLiteral("lavfi"), QStringLiteral("-i"),
         QStringLiteral("testsrc2=size=1920x1080:rate=25:duration=%1").arg(clipSeconds), QStringLiteral("-c:v"),
         QStringLiteral("libx264"), QStringLiteral("-preset"), QStringLiteral("veryfast"), QStringLiteral("-g"),
         QStringLiteral("50"), QStringLiteral("-pix_fmt"), QStringLiteral("yuv420p"), path});
    return ffmpeg.waitForFinished(600000) && ffmpeg.exitCode() == 0;
}

// Milliseconds from the request until its answer; negative when none came.
double hover(ThumbnailProvider& provider, double seconds) {
    QEventLoop loop;
    qint64 answeredNs = -1;
    QElapsedTimer timer;
    QObject::connect(&provider, &ThumbnailProvider::thumbnailReady, &loop, [&](double requested, const QImage&) {
        if (requested == seconds) {
            answeredNs = timer.nsecsElapsed();
            loop.quit();
        }
    });
    QTimer::singleShot(10000, &loop, &QEventLoop::quit);
    timer.start();
    provider.request(seconds);
    loop.exec();
    return answeredNs < 0 ? -1 : answeredNs / 1e6;
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

void BM_OpenAndFirstThumbnail(benchmark::State& state) {
    ThumbnailProvider provider;
    for (auto _ : state) {
        provider.setMovie(clip);
        const double ms = hover(provider, clipSeconds / 2.0);
        if (ms < 0) {
            state.SkipWithError("no thumbnail");
            return;
        }
        state.SetIterationTime(ms / 1000);
        openMs << ms;
    }
}
BENCHMARK(BM_OpenAndFirstThumbnail)->UseManualTime()->Iterations(5)->Unit(benchmark::kMillisecond);

void BM_HoverThumbnail(benchmark::State& state) {
    ThumbnailProvider provider;
    provider.setMovie(clip);
    if (hover(provider, 0.5) < 0) {
        state.SkipWithError("no thumbnail");
        return;
    }
    // Random intervals other than the first, each once, at a random point inside.
    QList<int> intervals;
    for (int i = 1; i < clipSeconds / keyframeSeconds; ++i)
        intervals << i;
    QRandomGenerator random(15);
    std::shuffle(intervals.begin(), intervals.end(), random);
    qsizetype next = 0;
    for (auto _ : state) {
        const double seconds = intervals[next++ % intervals.size()] * keyframeSeconds + random.bounded(1.99);
        const double ms = hover(provider, seconds);
        if (ms < 0) {
            state.SkipWithError("no thumbnail");
            return;
        }
        state.SetIterationTime(ms / 1000);
        hoverMs << ms;
    }
    state.counters["median_ms"] = median(hoverMs);
    state.counters["worst_ms"] = worst(hoverMs);
}
BENCHMARK(BM_HoverThumbnail)->UseManualTime()->Iterations(30)->Unit(benchmark::kMillisecond);

void BM_HoverCachedThumbnail(benchmark::State& state) {
    ThumbnailProvider provider;
    provider.setMovie(clip);
    if (hover(provider, 10.0) < 0) {
        state.SkipWithError("no thumbnail");
        return;
    }
    for (auto _ : state) {
        const double ms = hover(provider, 10.0 + QRandomGenerator::global()->bounded(1.99));
        state.SetIterationTime(ms / 1000);
        cachedMs << ms;
    }
    state.counters["decodes"] = provider.decodeCount();
}
BENCHMARK(BM_HoverCachedThumbnail)->UseManualTime()->Iterations(30)->Unit(benchmark::kMillisecond);

}  // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    QTemporaryDir folder;
    clip = folder.filePath(QStringLiteral("clip-1080p-gop50.mp4"));
    if (!makeClip(clip)) {
        std::fprintf(stderr, "could not make the 1080p clip (is ffmpeg installed?)\n");
        return 1;
    }
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    std::printf(
        "hover to thumbnail, 1080p H.264, keyframe every 2 s: median %.1f ms, worst %.1f ms over %lld "
        "uncached times (goal: median at most 100 ms); first after opening the file: median %.1f ms; "
        "cached: median %.3f ms\n",
        median(hoverMs), worst(hoverMs), static_cast<long long>(hoverMs.size()), median(openMs), median(cachedMs));
    return 0;
}
