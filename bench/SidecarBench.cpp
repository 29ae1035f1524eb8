// Opening a movie whose sidecar SRT holds many cues, picked in the library of the real window
// (sidebar, video, marks panel shown) after another movie with a one-cue sidecar: the main
// thread's longest stall while the movie and its marks open (how late a 10-ms timer fires),
// and the memory the sidecar adds to the process (VmRSS once all is in place, against the
// same pick of the same movie without a sidecar). Every case runs three times, each in a
// process of its own so that no run inherits another's heap; the figures are the medians.
// Needs a display; `make bench` runs it under Xvfb when there is none.
#include "ScratchHome.h"
#include "core/AppState.h"
#include "models/MoviesViewModel.h"
#include "models/SubtitlesViewModel.h"
#include "playback/Player.h"
#include "ui/ContentView.h"
#include "ui/DetailView.h"
#include "ui/MainWindow.h"
#include "ui/SidebarView.h"

#include <benchmark/benchmark.h>
#include <QApplication>
#include <QDeadlineTimer>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QThread>
#include <QTimer>

#include <algorithm>
#include <clocale>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <functional>
#include <map>

namespace {

constexpr double clipSeconds = 10;

bool waitFor(const std::function<bool()>& done, int timeoutMs) {
    QDeadlineTimer deadline(timeoutMs);
    while (!done()) {
        if (deadline.hasExpired())
            return false;
        QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
    }
    return true;
}

// A field of /proc/self/status in kB ("VmRSS", "VmHWM").
long statusKb(const char* field) {
    QFile status(QStringLiteral("/proc/self/status"));
    if (!status.open(QIODevice::ReadOnly))
        return 0;
    const QByteArray prefix = QByteArray(field) + ':';
    for (const QByteArray& line : status.readAll().split('\n'))
        if (line.startsWith(prefix))
            return line.mid(prefix.size()).trimmed().split(' ').value(0).toLong();
    return 0;
}

bool makeClip(const QString& path) {
    QProcess ffmpeg;
    ffmpeg.start(QStringLiteral("ffmpeg"), {QStringLiteral("-hide_banner"),
                                            QStringLiteral("-loglevel"),
                                            QStringLiteral("error"),
                                            QStringLiteral("-y"),
                                            QStringLiteral("-f"),
                                            QStringLiteral("lavfi"),
                                            QStringLiteral("-i"),
                                            QStringLiteral("testsrc=size=320x240:rate=25:duration=%1").arg(clipSeconds),
                                            QStringLiteral("-f"),
                                            QStringLiteral("lavfi"),
                                            QStringLiteral("-i"),
                                            QStringLiteral("sine=duration=%1").arg(clipSeconds),
                                            QStringLiteral("-c:v"),
                                            QStringLiteral("libx264"),
                                            QStringLiteral("-preset"),
                                            QStringLiteral("ultrafast"),
                                            QStringLiteral("-pix_fmt"),
                                            QStringLiteral("yuv420p"),
                                            QStringLiteral("-c:a"),
                                            QStringLiteral("aac"),
                                            path});
    return ffmpeg.waitForFinished(120000) && ffmpeg.exitCode() == 0;
}

// `count` cues 100 ms apart, each shown for 90 ms: the title and the application, as the
// files of this program begin, then marks; about 95 bytes a cue, as a file of 496,708 cues of
// 50 MB has.
bool writeSidecar(const QString& path, int count) {
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly))
        return false;
    const auto stamp = [](qint64 ms) {
        char text[16];
        std::snprintf(text, sizeof text, "%02lld:%02lld:%02lld,%03lld", ms / 3600000, ms / 60000 % 60, ms / 1000 % 60,
                      ms % 1000);
        return QByteArray(text);
    };
    QByteArray chunk;
    for (int i = 0; i < count; ++i) {
        const qint64 start = qint64(i) * 100;
        const QByteArray text = i == 0   ? QByteArray("Start: Marked movie")
                                : i == 1 ? QByteArray("BID: org.example.App")
                                         : "Mark: note " + QByteArray::number(i) + " about what happens in this scene";
        chunk += QByteArray::number(i + 1) + "\r\n" + stamp(start) + " --> " + stamp(start + 90) + "\r\n" + text +
                 "\r\n\r\n";
        if (chunk.size() > (1 << 20)) {
            file.write(chunk);
            chunk.clear();
        }
    }
    file.write(chunk);
    return file.error() == QFileDevice::NoError;
}

// One case, in this process: the window opens the library's newest movie (no sidecar); once
// it plays, the other movie, whose sidecar holds `cues` marks, is picked as a click picks it.
// Done when the marks panel lists them, the movie is open and a seek made then is answered.
int runCase(int cues) {
    QTemporaryDir home(QDir::tempPath() + QStringLiteral("/reelnook-bench-XXXXXX"));
    useScratchHome(home.path());
    // Without a sound card mpv falls through its audio outputs at every opening, and SDL's
    // probing alone holds mpv's core for about 100 ms: the dummy driver stands for a working
    // device, so that the figures are the window's and not the missing card's.
    setenv("SDL_AUDIODRIVER", "dummy", 0);
    int argc = 1;
    char name[] = "bench_sidecar";
    char* argv[] = {name, nullptr};
    QApplication app(argc, argv);
    std::setlocale(LC_NUMERIC, "C");

    const QString folder = home.path() + QStringLiteral("/movies");
    QDir().mkpath(folder);
    const QString marked = folder + QStringLiteral("/marked.mp4");
    const QString plain = folder + QStringLiteral("/plain.mp4");
    if (!makeClip(marked) || (cues > 0 && !writeSidecar(folder + QStringLiteral("/marked.srt"), cues))) {
        std::fprintf(stderr, "could not make the movies (is ffmpeg installed?)\n");
        return 1;
    }
    QThread::msleep(1100);  // born a second later: the library lists it first
    // The first movie shows one cue from its first frame: the one-time costs of any subtitle
    // (the subtitle renderer's fonts, and its shaders, which software GL takes a few hundred
    // milliseconds to compile) fall before the pick, which then measures the sidecar alone.
    QFile warm(folder + QStringLiteral("/plain.srt"));
    if (!QFile::copy(marked, plain) || !warm.open(QIODevice::WriteOnly) ||
        warm.write("1\r\n00:00:00,000 --> 00:00:10,000\r\nMark: first\r\n\r\n") < 0)
        return 1;
    warm.close();
    global().setMoviesFolderOverride(folder);

    MainWindow window;
    window.resize(1400, 800);
    window.show();
    window.detail()->setShowPanel(true);
    const auto playerOn = [&](const QString& path) {
        Player* player = window.content()->player();
        return player && player->isLoaded() && player->currentItem() &&
               player->currentItem()->url == QUrl::fromLocalFile(path);
    };
    if (!waitFor([&] { return playerOn(plain); }, 60000)) {
        std::fprintf(stderr, "the first movie did not open\n");
        return 1;
    }
    waitFor([] { return false; }, 1500);
    const long baseKb = statusKb("VmRSS");

    qint64 longestStallNs = 0;
    QTimer tick;
    tick.setTimerType(Qt::PreciseTimer);
    QElapsedTimer sinceTick;
    tick.callOnTimeout([&] {
        longestStallNs = std::max(longestStallNs, sinceTick.nsecsElapsed() - 10'000'000);
        sinceTick.start();
    });
    sinceTick.start();
    tick.start(10);

    QElapsedTimer opening;
    opening.start();
    const auto& movies = MoviesViewModel::shared().items();
    const auto row = std::find_if(movies.cbegin(), movies.cend(),
                                  [&](const VideoItem& item) { return item.url() == QUrl::fromLocalFile(marked); });
    if (row == movies.cend())
        return 1;
    window.sidebar()->selectRow(int(row - movies.cbegin()));
    const bool opened =
        waitFor([&] { return SubtitlesViewModel::shared().rowCount() == cues && playerOn(marked); }, 600000);
    const double openSeconds = opening.nsecsElapsed() / 1e9;
    // A seek right away, as a user would: its report comes once mpv answers.
    Player* player = window.content()->player();
    bool answered = false;
    QObject context;
    QObject::connect(player, &Player::positionReported, &context,
                     [&](double seconds) { answered = answered || std::abs(seconds - 2.0) < 0.1; });
    player->seek(2.0);
    const bool sought = opened && waitFor([&] { return answered; }, 600000);
    waitFor([] { return false; }, 1000);
    tick.stop();
    const long addedKb = statusKb("VmRSS") - baseKb;
    if (!opened || !sought) {
        std::fprintf(stderr, "the movie with %d cues did not open (%lld rows)\n", cues,
                     static_cast<long long>(SubtitlesViewModel::shared().rowCount()));
        return 1;
    }
    std::printf("result stall_ms=%.1f open_s=%.3f rss_added_kb=%ld peak_kb=%ld\n", longestStallNs / 1e6, openSeconds,
                addedKb, statusKb("VmHWM"));
    std::fflush(stdout);
    global().setMoviesFolderOverride({});
    return 0;
}

constexpr int runs = 3;  // the machine may be shared: the median of three processes
std::map<int, double> rssAddedMb;

double median(QList<double> values) {
    std::sort(values.begin(), values.end());
    return values.isEmpty() ? 0.0 : values[values.size() / 2];
}

void BM_OpenMovieWithSidecar(benchmark::State& state) {
    const int cues = int(state.range(0));
    std::map<QString, QList<double>> results;
    for (auto _ : state) {
        for (int run = 0; run < runs; ++run) {
            QProcess child;
            child.setProcessChannelMode(QProcess::ForwardedErrorChannel);
            child.start(QCoreApplication::applicationFilePath(), {QStringLiteral("--case"), QString::number(cues)});
            if (!child.waitForFinished(900000) || child.exitCode() != 0) {
                state.SkipWithError("the case did not finish");
                return;
            }
            static const QRegularExpression field(QStringLiteral("(\\w+)=([0-9.]+)"));
            const QString out = QString::fromUtf8(child.readAllStandardOutput());
            for (auto it = field.globalMatch(out); it.hasNext();) {
                const auto match = it.next();
                results[match.captured(1)] << match.captured(2).toDouble();
            }
        }
    }
    rssAddedMb[cues] = median(results[QStringLiteral("rss_added_kb")]) / 1024;
    state.counters["cues"] = cues;
    state.counters["longest_stall_ms"] = median(results[QStringLiteral("stall_ms")]);
    state.counters["worst_run_stall_ms"] = results[QStringLiteral("stall_ms")].isEmpty()
                                               ? 0.0
                                               : *std::max_element(results[QStringLiteral("stall_ms")].cbegin(),
                                                                   results[QStringLiteral("stall_ms")].cend());
    state.counters["open_s"] = median(results[QStringLiteral("open_s")]);
    state.counters["peak_rss_mb"] = median(results[QStringLiteral("peak_kb")]) / 1024;
    // Against the same pick of the same movie without a sidecar (the first case).
    state.counters["rss_added_mb"] = rssAddedMb[cues] - (rssAddedMb.count(0) ? rssAddedMb[0] : 0.0);
}
BENCHMARK(BM_OpenMovieWithSidecar)
    ->Arg(0)
    ->Arg(50000)
    ->Arg(500000)
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime()
    ->Iterations(1);

}  // namespace

int main(int argc, char** argv) {
    if (argc == 3 && std::strcmp(argv[1], "--case") == 0)
        return runCase(std::atoi(argv[2]));
    QCoreApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
