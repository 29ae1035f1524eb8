#pragma once
// What the benchmarks of widgets share: their run in a home of their own, and the first text
// layout done before any clock starts.
#include "ScratchHome.h"
#include "core/AppState.h"

#include <benchmark/benchmark.h>
#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QListView>
#include <QStringListModel>
#include <QTemporaryDir>

#include <clocale>
#include <cstdlib>

// Runs the registered benchmarks in a QApplication whose HOME and XDG folders are a temporary
// folder, with an empty movies folder.
inline int runWidgetBenchmarks(int argc, char** argv) {
    QTemporaryDir home(QDir::tempPath() + QStringLiteral("/reelnook-bench-XXXXXX"));
    useScratchHome(home.path());
    global().setMoviesFolderOverride(home.path() + QStringLiteral("/empty"));
    QApplication app(argc, argv);
    std::setlocale(LC_NUMERIC, "C");
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}

// The process's first text layout loads the fonts (0.1-0.3 s here): done before the clock
// starts, as a program's window has drawn its text before its library comes.
inline void warmUpText() {
    QStringListModel rows({QStringLiteral("warm-up")});
    QListView view;
    view.setModel(&rows);
    view.show();
    QElapsedTimer shown;
    shown.start();
    while (shown.elapsed() < 500)
        QCoreApplication::processEvents(QEventLoop::AllEvents, 50);
}
