// Adding, deleting and undoing one mark of a movie whose sidecar holds many cues, in the real
// window with the marks panel shown: the time the main thread spends on one change (the entry's
// Return, the list, the timeline and the modified state), and on the paint that follows. The
// figures are the medians of 15 changes each. Needs a display; `make bench` runs it under Xvfb
// when there is none.
#include "ManyCues.h"
#include "WidgetBench.h"
#include "core/AppState.h"
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

#include <algorithm>
#include <clocale>
#include <cstdio>
#include <functional>

namespace {

bool waitFor(const std::function<bool()>& done, int timeoutMs) {
    QDeadlineTimer deadline(timeoutMs);
    while (!done()) {
        if (deadline.hasExpired())
            return false;
        QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
    }
    return true;
}

double median(std::vector<double> values) {
    std::sort(values.begin(), values.end());
    return values.empty() ? 0 : values[values.size() / 2];
}

void BM_ChangeOneMark(benchmark::State& state) {
    const int cues = int(state.range(0));
    QTemporaryDir folder;
    const QString movie = folder.filePath(QStringLiteral("marked.mp4"));
    QFile(movie).open(QIODevice::WriteOnly);  // a save needs the movie; nothing here plays it
    if (!writeManyCues(folder.filePath(QStringLiteral("marked.srt")), cues)) {
        state.SkipWithError("cannot write the sidecar");
        return;
    }
    MainWindow window;
    window.resize(1400, 800);
    window.show();
    DetailView* panel = window.detail();
    panel->setShowPanel(true);
    OpenMovie* open = window.openMovie();
    const double length = cues * 0.1 + 10;
    open->open(VideoItem(QUrl::fromLocalFile(movie), QString(), QStringLiteral("marked"), QString(), ItemColor::white,
                         length));
    if (!waitFor([&] { return !open->isLoading() && open->marks().items().size() == cues; }, 120000)) {
        state.SkipWithError("the marks did not load");
        return;
    }
    waitFor([] { return false; }, 500);

    std::vector<double> add, paint, remove, undo;
    for (auto _ : state) {
        for (int i = 0; i < 15; ++i) {
            QElapsedTimer timer;
            panel->entry()->setText(QStringLiteral("Death: someone (F)"));
            timer.start();
            panel->onAddButton();  // what Return in the entry does
            add.push_back(timer.nsecsElapsed() / 1e6);
            timer.restart();
            QCoreApplication::processEvents();
            paint.push_back(timer.nsecsElapsed() / 1e6);

            const auto row = open->marks().rowOf(open->marks().items()[0]);
            timer.restart();
            panel->deleteText(row.value_or(0));
            remove.push_back(timer.nsecsElapsed() / 1e6);
            QCoreApplication::processEvents();
            timer.restart();
            open->undoStack()->undo();
            undo.push_back(timer.nsecsElapsed() / 1e6);
            QCoreApplication::processEvents();
        }
    }
    state.counters["add_ms"] = median(add);
    state.counters["paint_after_add_ms"] = median(paint);
    state.counters["delete_ms"] = median(remove);
    state.counters["undo_ms"] = median(undo);
    state.counters["add_max_ms"] = *std::max_element(add.begin(), add.end());
}
BENCHMARK(BM_ChangeOneMark)->Arg(50000)->Arg(500000)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(1);

}  // namespace

int main(int argc, char** argv) { return runWidgetBenchmarks(argc, argv); }
