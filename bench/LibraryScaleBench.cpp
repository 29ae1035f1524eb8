// The library at 1,000 / 10,000 / 50,000 movies (tiny copies, each its own inode), as the sidebar
// holds it: the model behind the title filter and a list view. Per size, in processes of their own:
//   - empty cache: launch to the newest row in place; the main thread's longest stall (a 5-ms
//     timer's lateness, which on a busy machine includes the time the thread waited for a core)
//     and its longest single step (the CPU time of one event, named on stderr), from launch until
//     every length is measured;
//   - warm cache (three later launches): the same three figures, the newest row the middle of
//     the three and the stall and step the worst (at about a millisecond, the newest row of one
//     launch is as much the scheduler's as the library's);
//   - idle: CPU time of 30 s of the 2-s refresh with nothing changing, as % of a core;
//   - RSS of a fresh launch with the warm cache, 10 s after its first refresh ended, and RSS of
//     the process above after all its launches (what earlier launches left in the heap included).
// Usage: bench_library_scale [SIZE...] (default 1000 10000 50000); one line per size, and the
// table side by side with the first size. A size of its own runs as `--one SIZE FOLDER`, the
// fresh launch as `--rss FOLDER`.
#include "core/AppState.h"
#include "core/Events.h"
#include "models/MovieFilterModel.h"
#include "models/MoviesViewModel.h"

#include "MovieFolder.h"
#include "ScratchHome.h"
#include "WidgetBench.h"

#include <QApplication>
#include <QDeadlineTimer>
#include <QDir>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QFile>
#include <QListView>
#include <QProcess>
#include <QTemporaryDir>
#include <QThread>
#include <QTimer>

#include <sys/resource.h>

#include <algorithm>
#include <cstdio>

namespace {

qint64 threadCpuNs() {
    timespec now{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &now);
    return qint64(now.tv_sec) * 1'000'000'000 + now.tv_nsec;
}

// Times the CPU the main thread spends on each event it handles outside nested loops, to tell
// the program's own longest step (receiver class and event type) from time spent waiting for a
// core.
class TimingApplication : public QApplication {
public:
    using QApplication::QApplication;
    bool notify(QObject* receiver, QEvent* event) override {
        if (depth_++ > 0) {
            const bool handled = QApplication::notify(receiver, event);
            --depth_;
            return handled;
        }
        const qint64 start = threadCpuNs();
        const bool handled = QApplication::notify(receiver, event);
        --depth_;
        if (const qint64 ns = threadCpuNs() - start; ns > longestNs) {
            longestNs = ns;
            longestWhat =
                QByteArray(receiver->metaObject()->className()) + " event " + QByteArray::number(int(event->type()));
        }
        return handled;
    }
    qint64 longestNs = 0;
    QByteArray longestWhat;

private:
    int depth_ = 0;
};

qint64 cpuNs() {
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return (qint64(usage.ru_utime.tv_sec) + usage.ru_stime.tv_sec) * 1'000'000'000 +
           (qint64(usage.ru_utime.tv_usec) + usage.ru_stime.tv_usec) * 1000;
}

double rssMB() {
    QFile status(QStringLiteral("/proc/self/status"));
    if (!status.open(QIODevice::ReadOnly))
        return 0;
    for (const QByteArray& line : status.readAll().split('\n'))
        if (line.startsWith("VmRSS:"))
            return line.mid(6).trimmed().split(' ').first().toDouble() / 1024;
    return 0;
}

struct Launch {
    double newestMs = 0;  // launch to the newest row in place
    double stallMs = 0;   // the longest lateness of a 5-ms timer until every length is known
    double stepMs = 0;    // the longest CPU time of one main-thread event meanwhile
};

// One launch of the library as the sidebar shows it, until its first refresh has ended.
Launch launch(const QString& cacheFile, bool warm) {
    MoviesViewModel model;
    model.setCacheFile(cacheFile);
    MovieFilterModel filter;
    filter.setSourceModel(&model);
    QListView view;
    view.setUniformItemSizes(true);
    view.setModel(&filter);
    view.resize(300, 800);
    view.show();
    QCoreApplication::processEvents();

    Launch result;
    QElapsedTimer clock;
    QObject observer;
    QObject::connect(&notify(), &ApplicationEvents::videoUpdated, &observer, [&] {
        if (result.newestMs == 0)
            result.newestMs = clock.nsecsElapsed() / 1e6;
    });
    bool ended = false;
    QObject::connect(&model, &MoviesViewModel::refreshed, &observer, [&] { ended = true; });
    QTimer tick;
    tick.setTimerType(Qt::PreciseTimer);
    QElapsedTimer sinceTick;
    qint64 longest = 0;
    tick.callOnTimeout([&] {
        longest = std::max(longest, sinceTick.nsecsElapsed() - 5'000'000);
        sinceTick.start();
    });
    auto* app = static_cast<TimingApplication*>(QCoreApplication::instance());
    app->longestNs = 0;
    clock.start();
    sinceTick.start();
    tick.start(5);
    model.refresh();
    const QDeadlineTimer deadline(600000);
    while (!ended && !deadline.hasExpired())
        QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
    result.stallMs = longest / 1e6;
    result.stepMs = app->longestNs / 1e6;
    std::fprintf(stderr, "  %s cache: longest step %.1f ms CPU (%s)\n", warm ? "warm" : "empty", result.stepMs,
                 app->longestWhat.constData());
    return result;
}

int runOne(int count, const QString& folder) {
    global().setMoviesFolderOverride(folder);
    warmUpText();
    const QString cacheFile = folder + QStringLiteral("/../library.cbor");
    QFile::remove(cacheFile);
    const Launch cold = launch(cacheFile, false);
    Launch warm;
    QList<double> warmNewest;
    for (int i = 0; i < 3; ++i) {
        const Launch again = launch(cacheFile, true);
        warmNewest.append(again.newestMs);
        warm.stallMs = std::max(warm.stallMs, again.stallMs);
        warm.stepMs = std::max(warm.stepMs, again.stepMs);
    }
    std::sort(warmNewest.begin(), warmNewest.end());
    warm.newestMs = warmNewest.at(1);

    // Idle: the sidebar's 2-s refresh over an unchanged folder.
    MoviesViewModel model;
    model.setCacheFile(cacheFile);
    bool ended = false;
    QObject::connect(&model, &MoviesViewModel::refreshed, [&] { ended = true; });
    model.refresh();
    while (!ended)
        QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
    QTimer ticks;
    ticks.callOnTimeout([&] { model.refresh(); });
    ticks.start(2000);
    const qint64 cpuBefore = cpuNs();
    QElapsedTimer idle;
    idle.start();
    QEventLoop loop;
    QTimer::singleShot(30000, &loop, &QEventLoop::quit);
    loop.exec();
    const double idlePercent = 100.0 * double(cpuNs() - cpuBefore) / double(idle.nsecsElapsed());
    std::printf("%d %.1f %.1f %.1f %.1f %.1f %.1f %.2f %.1f %.0f\n", count, cold.newestMs, cold.stallMs, cold.stepMs,
                warm.newestMs, warm.stallMs, warm.stepMs, idlePercent, rssMB(),
                double(QFileInfo(cacheFile).size()) / 1024);
    return 0;
}

// A fresh launch with the warm cache, as the sidebar holds the library: RSS 10 s after its first
// refresh ended, the 2-s refresh running.
int runRss(const QString& folder) {
    global().setMoviesFolderOverride(folder);
    MoviesViewModel model;
    model.setCacheFile(folder + QStringLiteral("/../library.cbor"));
    MovieFilterModel filter;
    filter.setSourceModel(&model);
    QListView view;
    view.setUniformItemSizes(true);
    view.setModel(&filter);
    view.resize(300, 800);
    view.show();
    bool ended = false;
    QObject::connect(&model, &MoviesViewModel::refreshed, [&] { ended = true; });
    model.refresh();
    while (!ended)
        QCoreApplication::processEvents(QEventLoop::AllEvents | QEventLoop::WaitForMoreEvents, 50);
    QTimer ticks;
    ticks.callOnTimeout([&] { model.refresh(); });
    ticks.start(2000);
    QEventLoop loop;
    QTimer::singleShot(10000, &loop, &QEventLoop::quit);
    loop.exec();
    std::printf("%.1f\n", rssMB());
    return 0;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc == 4 && qstrcmp(argv[1], "--one") == 0) {
        TimingApplication app(argc, argv);
        return runOne(atoi(argv[2]), QString::fromLocal8Bit(argv[3]));
    }
    if (argc == 3 && qstrcmp(argv[1], "--rss") == 0) {
        QApplication app(argc, argv);
        return runRss(QString::fromLocal8Bit(argv[2]));
    }
    QCoreApplication app(argc, argv);
    QList<int> sizes;
    for (int i = 1; i < argc; ++i)
        sizes.append(atoi(argv[i]));
    if (sizes.isEmpty())
        sizes = {1000, 10000, 50000};
    QTemporaryDir work(QDir::tempPath() + QStringLiteral("/reelnook-scale-XXXXXX"));
    useScratchHome(work.path());
    std::printf("%7s %8s %8s %8s %8s %8s %8s %9s %8s %8s %7s\n", "movies", "newest", "stall", "step", "newest", "stall",
                "step", "idle CPU", "RSS", "RSS", "cache");
    std::printf("%7s %8s %8s %8s %8s %8s %8s %9s %8s %8s %7s\n", "", "cold", "cold", "cold", "warm", "warm", "warm",
                "(% core)", "launch", "all runs", "(KB)");
    std::printf("%7s %8s %8s %8s %8s %8s %8s %9s %8s %8s %7s\n", "", "(ms)", "(ms)", "(ms)", "(ms)", "(ms)", "(ms)", "",
                "(MB)", "(MB)", "");
    const auto run = [](const QStringList& arguments) {
        QProcess child;
        child.setProcessChannelMode(QProcess::ForwardedErrorChannel);
        child.start(QCoreApplication::applicationFilePath(), arguments);
        child.waitForFinished(-1);
        QList<double> fields;
        for (const QByteArray& field : child.readAllStandardOutput().trimmed().split(' '))
            fields.append(field.toDouble());
        return fields;
    };
    QList<QList<double>> figures;
    for (const int count : sizes) {
        const QString folder = work.path() + QStringLiteral("/movies-%1").arg(count);
        if (!makeMovieFolder(folder, count)) {
            std::fprintf(stderr, "could not make %d movies (is ffmpeg installed, is there room?)\n", count);
            return 1;
        }
        // Files changed within the last two seconds are read again by every refresh: let them settle.
        QThread::msleep(2100);
        const QList<double> one = run({QStringLiteral("--one"), QString::number(count), folder});
        const QList<double> rss = run({QStringLiteral("--rss"), folder});
        if (one.size() != 10 || rss.size() != 1) {
            std::fprintf(stderr, "the run of %d movies failed\n", count);
            return 1;
        }
        // movies, newest/stall/step cold, newest/stall/step warm, idle, RSS launch, RSS all runs, cache
        const QList<double> row = one.mid(0, 8) + rss + one.mid(8);
        figures.append(row);
        std::printf("%7.0f %8.0f %8.1f %8.1f %8.1f %8.1f %8.1f %9.2f %8.1f %8.1f %7.0f\n", row[0], row[1], row[2],
                    row[3], row[4], row[5], row[6], row[7], row[8], row[9], row[10]);
        std::fflush(stdout);
        QDir(folder).removeRecursively();
    }
    if (figures.size() > 1) {
        std::printf("against the first size: ");
        for (qsizetype i = 1; i < figures.size(); ++i)
            std::printf("%.0f movies: newest warm %.2fx, RSS of a launch %+.1f MB; ", figures[i][0],
                        figures[i][4] / figures[0][4], figures[i][8] - figures[0][8]);
        std::printf("\n");
    }
    return 0;
}
