// The main thread's longest stall (how late a 10-ms timer fires) in the real window with the
// marks panel shown, for the large files a user may have: saving (Ctrl+S) a movie's marks
// whose sidecar holds 1,000,000 cues, from the key until the file is written; adding one mark
// to them, from Return until the list and the timeline show it; and opening a movie whose
// sidecar holds one cue of 10 MB on one line, until its row is painted. Saves and marks are
// repeated and the worst is given. Needs a display; `make bench` runs it under Xvfb when
// there is none.
#include "ManyCues.h"
#include "WidgetBench.h"
#include "core/AppState.h"
#include "models/SidecarLoader.h"
#include "models/SubtitlesViewModel.h"
#include "ui/DetailView.h"
#include "ui/MainWindow.h"
#include "ui/OpenMovie.h"

#include <benchmark/benchmark.h>
#include <QApplication>
#include <QDeadlineTimer>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QLineEdit>
#include <QTemporaryDir>
#include <QTimer>

#include <algorithm>
#include <clocale>
#include <cstdio>
#include <ctime>
#include <functional>
#include <memory>

namespace {

// Runs the event loop until `done` holds, looking every 5 ms; it sleeps in between, so that the
// main thread's processor time is the window's own.
bool waitFor(const std::function<bool()>& done, int timeoutMs) {
    QDeadlineTimer deadline(timeoutMs);
    QTimer look;
    look.start(5);
    while (!done()) {
        if (deadline.hasExpired())
            return false;
        QCoreApplication::processEvents(QEventLoop::AllEvents | QEventLoop::WaitForMoreEvents);
    }
    return true;
}

void settle(int ms) {
    waitFor([] { return false; }, ms);
}

// How late a 10-ms timer fires at worst while it runs: the main thread's longest stall. On a
// machine shared with other work that includes waiting for a core, so the processor time the
// main thread took meanwhile is kept too.
class StallMeter {
public:
    StallMeter() : cpuStartNs_(threadCpuNs()) {
        tick_.setTimerType(Qt::PreciseTimer);
        tick_.callOnTimeout([this] {
            longestNs_ = std::max(longestNs_, sinceTick_.nsecsElapsed() - 10'000'000);
            sinceTick_.start();
        });
        sinceTick_.start();
        tick_.start(10);
    }
    double longestMs() const { return longestNs_ / 1e6; }
    double cpuMs() const { return (threadCpuNs() - cpuStartNs_) / 1e6; }

private:
    static qint64 threadCpuNs() {
        timespec now{};
        clock_gettime(CLOCK_THREAD_CPUTIME_ID, &now);
        return qint64(now.tv_sec) * 1'000'000'000 + now.tv_nsec;
    }
    qint64 cpuStartNs_;
    QTimer tick_;
    QElapsedTimer sinceTick_;
    qint64 longestNs_ = 0;
};

// One cue whose text is one line of `bytes` letters and spaces.
bool writeLongCue(const QString& path, qsizetype bytes) {
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly))
        return false;
    QByteArray line;
    line.reserve(bytes);
    while (line.size() < bytes)
        line += "Mark: a long note without end ";
    line.truncate(bytes);
    file.write("1\r\n00:00:01,000 --> 00:00:03,000\r\n" + line + "\r\n\r\n");
    return file.error() == QFileDevice::NoError;
}

// The real window, the panel shown, which opens movies of `folder` (empty movie files: a save
// needs one beside the sidecar, nothing here plays it).
struct Window {
    explicit Window(const QTemporaryDir& folder) : folder(folder) {
        window.resize(1400, 800);
        window.show();
        window.detail()->setShowPanel(true);
        settle(500);
    }
    void open(const QString& name, double length) {
        const QString movie = folder.filePath(name + QStringLiteral(".mp4"));
        QFile(movie).open(QIODevice::WriteOnly);
        item = VideoItem(QUrl::fromLocalFile(movie), QString(), name, QString(), ItemColor::white, length);
        window.openMovie()->open(item);
    }
    bool loaded(qsizetype rows) {
        OpenMovie* movie = window.openMovie();
        return waitFor([&] { return !movie->isLoading() && movie->marks().items().size() == rows; }, 300000);
    }
    const QTemporaryDir& folder;
    MainWindow window;
    VideoItem item;
};

void BM_SaveAndAddWithManyCues(benchmark::State& state) {
    const int cues = int(state.range(0));
    QTemporaryDir folder;
    if (!writeManyCues(folder.filePath(QStringLiteral("many.srt")), cues)) {
        state.SkipWithError("cannot write the sidecar");
        return;
    }
    Window w(folder);
    w.open(QStringLiteral("many"), cues * 0.1 + 10);
    if (!w.loaded(cues)) {
        state.SkipWithError("the marks did not load");
        return;
    }
    // The load's tail (the player's subtitle file written on the worker, the timeline's marks)
    // is over before the first mark, which would otherwise be charged with it.
    waitFor([&] { return !SidecarLoader::shared().playerFile(w.item.url()).pending; }, 300000);
    settle(2000);
    OpenMovie* movie = w.window.openMovie();
    DetailView* panel = w.window.detail();
    double addStall = 0, saveStall = 0, saveSeconds = 0, addCpu = 0, saveCpu = 0;
    for (auto _ : state) {
        for (int i = 0; i < 3; ++i) {
            {
                StallMeter meter;
                panel->entry()->setText(QStringLiteral("Death: someone (F)"));
                panel->onAddButton();  // what Return in the entry does
                if (!waitFor([&] { return movie->marks().items().size() == cues + i + 1; }, 60000)) {
                    state.SkipWithError("the mark was not added");
                    return;
                }
                settle(300);  // the paint and whatever follows the change
                addStall = std::max(addStall, meter.longestMs());
                addCpu = std::max(addCpu, meter.cpuMs());
            }
            StallMeter meter;
            QElapsedTimer saving;
            saving.start();
            panel->onSaveButton();  // what Ctrl+S does
            if (!waitFor([&] { return !movie->isModified(); }, 120000)) {
                state.SkipWithError("the save did not finish");
                return;
            }
            saveSeconds = std::max(saveSeconds, saving.nsecsElapsed() / 1e9);
            settle(300);
            saveStall = std::max(saveStall, meter.longestMs());
            saveCpu = std::max(saveCpu, meter.cpuMs());
        }
    }
    state.counters["cues"] = cues;
    state.counters["add_longest_stall_ms"] = addStall;
    state.counters["save_longest_stall_ms"] = saveStall;
    state.counters["save_s"] = saveSeconds;
    state.counters["add_main_cpu_ms"] = addCpu;
    state.counters["save_main_cpu_ms"] = saveCpu;
}
BENCHMARK(BM_SaveAndAddWithManyCues)->Arg(1000000)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(1);

void BM_OpenOneLongCue(benchmark::State& state) {
    const qsizetype bytes = state.range(0);
    QTemporaryDir folder;
    if (!writeLongCue(folder.filePath(QStringLiteral("long.srt")), bytes)) {
        state.SkipWithError("cannot write the sidecar");
        return;
    }
    Window w(folder);
    // Another movie first: the video surface and its GL context are made at the first opening,
    // which is not what is measured here.
    w.open(QStringLiteral("warm"), 60);
    w.loaded(0);
    settle(1000);
    double stall = 0, openSeconds = 0, cpu = 0;
    for (auto _ : state) {
        StallMeter meter;
        QElapsedTimer opening;
        opening.start();
        w.open(QStringLiteral("long"), 60);
        if (!w.loaded(1)) {
            state.SkipWithError("the cue did not load");
            return;
        }
        openSeconds = opening.nsecsElapsed() / 1e9;
        settle(1000);  // the list lays out and paints its row, and may show its tooltip
        stall = meter.longestMs();
        cpu = meter.cpuMs();
    }
    state.counters["cue_bytes"] = double(bytes);
    state.counters["longest_stall_ms"] = stall;
    state.counters["open_s"] = openSeconds;
    state.counters["main_cpu_ms"] = cpu;
}
BENCHMARK(BM_OpenOneLongCue)->Arg(10 << 20)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(1);

}  // namespace

int main(int argc, char** argv) { return runWidgetBenchmarks(argc, argv); }
