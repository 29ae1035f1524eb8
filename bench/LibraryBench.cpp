// The movie library's refresh over a generated folder of 1,000 movies with SRT sidecars:
// the first refresh, the first list of a launch with and without a cache file, a refresh
// when nothing changed, and one after a movie was added; and, for scale, one run of ffprobe
// on one of the files.
#include "ScratchHome.h"
#include "core/AppState.h"
#include "core/Events.h"
#include "models/MediaProbe.h"
#include "models/MoviesViewModel.h"

#include <benchmark/benchmark.h>
#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QTemporaryDir>
#include <QThread>
#include <QTimer>

#include <algorithm>
#include <cmath>
#include <cstdio>

namespace {

constexpr int movieCount = 1000;
QString folder;
QString clip;
double ffprobeSeconds = 0;
double firstRefreshSeconds = 0;

bool makeLibrary(const QString& root) {
    folder = root + QStringLiteral("/movies");
    clip = root + QStringLiteral("/clip.mp4");
    QDir().mkpath(folder);
    QProcess ffmpeg;
    ffmpeg.start(QStringLiteral("ffmpeg"), {QStringLiteral("-hide_banner"),
                                            QStringLiteral("-loglevel"),
                                            QStringLiteral("error"),
                                            QStringLiteral("-y"),
                                            QStringLiteral("-f"),
                                            QStringLiteral("lavfi"),
                                            QStringLiteral("-i"),
                                            QStringLiteral("testsrc=size=160x120:rate=25:duration=2"),
                                            QStringLiteral("-f"),
                                            QStringLiteral("lavfi"),
                                            QStringLiteral("-i"),
                                            QStringLiteral("sine=duration=2"),
                                            QStringLiteral("-c:v"),
                                            QStringLiteral("libx264"),
                                            QStringLiteral("-preset"),
                                            QStringLiteral("ultrafast"),
                                            QStringLiteral("-pix_fmt"),
                                            QStringLiteral("yuv420p"),
                                            QStringLiteral("-c:a"),
                                            QStringLiteral("aac"),
                                            clip});
    if (!ffmpeg.waitForFinished(120000) || ffmpeg.exitCode() != 0)
        return false;
    for (int i = 0; i < movieCount; ++i) {
        const QString name = QStringLiteral("movie %1").arg(i, 4, 10, QLatin1Char('0'));
        if (!QFile::copy(
                clip, folder + QStringLiteral("/") + name + (i % 3 ? QStringLiteral(".mp4") : QStringLiteral(".mov"))))
            return false;
        QFile srt(folder + QStringLiteral("/") + name + QStringLiteral(".srt"));
        if (!srt.open(QIODevice::WriteOnly))
            return false;
        QByteArray body = "1\r\n00:00:01,000 --> 00:00:03,000\r\nMark: something\r\n\r\n";
        if (i % 2 == 0)
            body = "1\r\n00:00:00,000 --> 00:00:01,000\r\nStart: Title " + QByteArray::number(i) +
                   "\r\n\r\n2\r\n00:00:00,000 --> 00:00:01,000\r\nBID: org.example.App\r\n\r\n" + body;
        srt.write(body);
    }
    return true;
}

// Runs one refresh to its end, the main thread's event loop turning meanwhile.
void refreshAndSettle(MoviesViewModel& model) {
    QObject observer;
    bool ended = false;
    QObject::connect(&model, &MoviesViewModel::refreshed, &observer, [&] { ended = true; });
    model.refresh();
    const QDeadlineTimer deadline(60000);
    while (!ended && !deadline.hasExpired())
        QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
}

void BM_FirstRefresh(benchmark::State& state) {
    for (auto _ : state) {
        MoviesViewModel model;
        QElapsedTimer timer;
        timer.start();
        refreshAndSettle(model);
        const double seconds = timer.nsecsElapsed() / 1e9;
        firstRefreshSeconds = firstRefreshSeconds > 0 ? std::min(firstRefreshSeconds, seconds) : seconds;
        benchmark::DoNotOptimize(model.items().size());
        const bool measured = std::all_of(model.items().cbegin(), model.items().cend(),
                                          [](const VideoItem& item) { return std::abs(item.duration - 2.0) < 0.1; });
        if (model.items().size() != movieCount || !measured)
            state.SkipWithError("the library is incomplete");
    }
    state.counters["movies"] = movieCount;
    state.counters["ffprobe_per_file_ms"] = ffprobeSeconds * 1000;
}
BENCHMARK(BM_FirstRefresh)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(3);

// Launch to the first list in place (the newest movie can open): on a first launch, when no
// length is known yet, and on a later one that starts from the cache file of an earlier one.
void BM_FirstListOfALaunch(benchmark::State& state) {
    const bool fromCacheFile = state.range(0) == 1;
    const QString cacheFile = QFileInfo(folder).path() + QStringLiteral("/library.cbor");
    QFile::remove(cacheFile);
    if (fromCacheFile) {
        MoviesViewModel earlier;
        earlier.setCacheFile(cacheFile);
        refreshAndSettle(earlier);
    }
    int lengthsKnown = 0;
    for (auto _ : state) {
        MoviesViewModel model;
        if (fromCacheFile)
            model.setCacheFile(cacheFile);
        QObject observer;
        bool listed = false;
        QObject::connect(&model, &QAbstractItemModel::modelReset, &observer, [&] { listed = true; });
        model.refresh();
        const QDeadlineTimer deadline(60000);
        while (!listed && !deadline.hasExpired())
            QCoreApplication::processEvents(QEventLoop::AllEvents, 1);
        state.PauseTiming();
        lengthsKnown = int(std::count_if(model.items().cbegin(), model.items().cend(),
                                         [](const VideoItem& item) { return item.duration > 0; }));
        while (model.isRefreshing() && !deadline.hasExpired())
            QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
        if (model.items().size() != movieCount)
            state.SkipWithError("the library is incomplete");
        state.ResumeTiming();
    }
    state.counters["lengths_known_in_first_list"] = lengthsKnown;
}
BENCHMARK(BM_FirstListOfALaunch)
    ->ArgName("from_cache_file")
    ->Arg(0)
    ->Arg(1)
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime()
    ->Iterations(3);

void BM_UnchangedRefresh(benchmark::State& state) {
    MoviesViewModel model;
    refreshAndSettle(model);
    for (auto _ : state) {
        refreshAndSettle(model);  // finds the same records: publishes nothing and posts nothing
        benchmark::DoNotOptimize(model.items().size());
    }
    state.counters["movies"] = static_cast<double>(model.items().size());
}
BENCHMARK(BM_UnchangedRefresh)->Unit(benchmark::kMillisecond)->UseRealTime();

void BM_RefreshAfterOneAdded(benchmark::State& state) {
    MoviesViewModel model;
    refreshAndSettle(model);
    int added = 0;
    for (auto _ : state) {
        state.PauseTiming();
        const QString name = folder + QStringLiteral("/added %1.mp4").arg(added++);
        QFile::copy(clip, name);
        state.ResumeTiming();
        refreshAndSettle(model);
    }
    for (int i = 0; i < added; ++i)
        QFile::remove(folder + QStringLiteral("/added %1.mp4").arg(i));
}
BENCHMARK(BM_RefreshAfterOneAdded)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(10);

// The main thread's longest stall while a first refresh reads the library, one of whose
// files takes 10 s to probe (a stalled mount): a 10-ms timer records how late it fires.
void BM_MainThreadStallWithASlowFile(benchmark::State& state) {
    MediaProbe::setSlowFileForTesting(QStringLiteral("movie 0500.mp4"), 10000);
    qint64 longestStallNs = 0;
    for (auto _ : state) {
        MoviesViewModel model;
        QTimer tick;
        tick.setTimerType(Qt::PreciseTimer);
        QElapsedTimer sinceTick;
        tick.callOnTimeout([&] {
            longestStallNs = std::max(longestStallNs, sinceTick.nsecsElapsed() - 10'000'000);
            sinceTick.start();
        });
        sinceTick.start();
        tick.start(10);
        refreshAndSettle(model);
        if (model.items().size() != movieCount)
            state.SkipWithError("the library is incomplete");
    }
    MediaProbe::setSlowFileForTesting({}, 0);
    state.counters["longest_stall_ms"] = double(longestStallNs) / 1e6;
}
BENCHMARK(BM_MainThreadStallWithASlowFile)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(1);

double timeFfprobe() {
    constexpr int runs = 10;
    QElapsedTimer timer;
    timer.start();
    for (int i = 0; i < runs; ++i) {
        QProcess ffprobe;
        ffprobe.start(QStringLiteral("ffprobe"),
                      {QStringLiteral("-v"), QStringLiteral("error"), QStringLiteral("-show_entries"),
                       QStringLiteral("format=duration"), QStringLiteral("-of"), QStringLiteral("csv=p=0"), clip});
        ffprobe.waitForFinished(30000);
    }
    return timer.nsecsElapsed() / 1e9 / runs;
}

}  // namespace

int main(int argc, char** argv) {
    QTemporaryDir home(QDir::tempPath() + QStringLiteral("/reelnook-bench-XXXXXX"));
    useScratchHome(home.path());
    QCoreApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);

    if (!makeLibrary(home.path())) {
        std::fprintf(stderr, "could not make the movie folder (is ffmpeg installed?)\n");
        return 1;
    }
    global().setMoviesFolderOverride(folder);
    // Files changed within the last two seconds are always read again; let the new ones settle.
    QThread::msleep(2100);
    ffprobeSeconds = timeFfprobe();

    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    std::printf(
        "ffprobe on one file: %.1f ms (mean of 10 runs); ffprobe once per file for %d files: %.1f s;\n"
        "first refresh of %d files: %.3f s, %.0fx faster\n",
        ffprobeSeconds * 1000, movieCount, ffprobeSeconds * movieCount, movieCount, firstRefreshSeconds,
        firstRefreshSeconds > 0 ? ffprobeSeconds * movieCount / firstRefreshSeconds : 0.0);
    return 0;
}
