// One keystroke in the library's filter field with 10,000 movies listed: the main thread's
// time from setFilterText() until the list view has laid out and painted the narrowed rows
// (goal: at most 16 ms). The first character narrows the full list, the second the already
// narrowed one; clearing the field brings every row back. Runs on Qt's offscreen platform
// unless a display is given.
#include "models/MovieFilterModel.h"

#include <benchmark/benchmark.h>
#include <QApplication>
#include <QElapsedTimer>
#include <QListView>
#include <QRandomGenerator>
#include <QStringListModel>

#include <cstdlib>

namespace {

constexpr int movieCount = 10000;

QStringList titles() {
    const QStringList words{QStringLiteral("Café"),   QStringLiteral("Évasion"), QStringLiteral("night"),
                            QStringLiteral("Straße"), QStringLiteral("Ocean"),   QStringLiteral("Zoë"),
                            QStringLiteral("run"),    QStringLiteral("Déjà vu"), QStringLiteral("garden"),
                            QStringLiteral("Hôtel"),  QStringLiteral("storm"),   QStringLiteral("Ångström")};
    QRandomGenerator random(10000);
    QStringList list;
    for (int i = 0; i < movieCount; ++i)
        list << QStringLiteral("%1 %2 %3 %4")
                    .arg(words[random.bounded(words.size())], words[random.bounded(words.size())],
                         words[random.bounded(words.size())])
                    .arg(i);
    return list;
}

struct Library {
    QStringListModel source{titles()};
    MovieFilterModel filter;
    QListView view;
    Library() {
        filter.setSourceModel(&source);
        view.setUniformItemSizes(true);
        view.setModel(&filter);
        view.resize(300, 800);
        view.show();
        QCoreApplication::processEvents();
    }
    // One keystroke's main-thread time: the filter and the view's response to it.
    double type(const QString& text) {
        QElapsedTimer timer;
        timer.start();
        filter.setFilterText(text);
        QCoreApplication::processEvents();
        view.repaint();
        return timer.nsecsElapsed() / 1e9;
    }
};

void BM_TypeFirstCharacter(benchmark::State& state) {
    Library library;
    int shown = 0;
    for (auto _ : state) {
        state.SetIterationTime(library.type(QStringLiteral("z")));
        shown = library.filter.rowCount();
        state.PauseTiming();
        library.type({});
        state.ResumeTiming();
    }
    state.counters["shown"] = shown;
}
BENCHMARK(BM_TypeFirstCharacter)->UseManualTime()->Unit(benchmark::kMillisecond);

void BM_TypeSecondCharacter(benchmark::State& state) {
    Library library;
    for (auto _ : state) {
        state.PauseTiming();
        library.type(QStringLiteral("o"));
        state.ResumeTiming();
        state.SetIterationTime(library.type(QStringLiteral("oc")));
    }
    state.counters["shown"] = library.filter.rowCount();
}
BENCHMARK(BM_TypeSecondCharacter)->UseManualTime()->Unit(benchmark::kMillisecond);

void BM_ClearFilter(benchmark::State& state) {
    Library library;
    for (auto _ : state) {
        state.PauseTiming();
        library.type(QStringLiteral("oc"));
        state.ResumeTiming();
        state.SetIterationTime(library.type({}));
    }
    state.counters["shown"] = library.filter.rowCount();
}
BENCHMARK(BM_ClearFilter)->UseManualTime()->Unit(benchmark::kMillisecond);

// The folding of all titles, done once per library reset.
void BM_FoldAllTitles(benchmark::State& state) {
    QStringListModel source(titles());
    for (auto _ : state) {
        MovieFilterModel filter;
        filter.setSourceModel(&source);
        benchmark::DoNotOptimize(filter.rowCount());
    }
}
BENCHMARK(BM_FoldAllTitles)->Unit(benchmark::kMillisecond);

}  // namespace

int main(int argc, char** argv) {
    if (!std::getenv("DISPLAY") && !std::getenv("WAYLAND_DISPLAY"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
