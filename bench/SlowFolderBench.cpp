// The library on a slow folder: movies behind reelnook_slow_folder, a FUSE passthrough that waits
// a set time before answering each request, as a network share or a NAS does. The library is
// held as the sidebar holds it (the model behind the title filter and a list view), with the
// folder made as bench_library_scale makes it (tiny copies, every other one with a sidecar).
// Per wait (0 ms, the baseline, and 1 ms) and per cache (empty, then the cache file the first
// launch wrote), one line:
//   - newest: launch to the newest row in place (the first "videoUpdated", where the window
//     would open it), and the requests the folder answered until then, per movie;
//   - refresh: launch to the end of the first refresh (every length measured, the cache file
//     written), and the requests until then, per movie.
// The kinds of requests until the newest row go to stderr. Goal at 1 ms and 10,000 movies:
// newest within 3 s with the cache file and within 5 s without.
// Usage: bench_slow_folder [MOVIES [WAIT_MS...]] (default 10000 movies, waits 0 and 1); needs a
// display (`make bench` gives it Xvfb when there is none) and a usable /dev/fuse (without one
// it says so and measures nothing). The folder stays mounted only while it runs.
#include "core/AppState.h"
#include "core/Events.h"
#include "models/MovieFilterModel.h"
#include "models/MoviesViewModel.h"

#include "MovieFolder.h"
#include "ScratchHome.h"
#include "SlowFolder.h"
#include "WidgetBench.h"

#include <QApplication>
#include <QDeadlineTimer>
#include <QDir>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QFile>
#include <QListView>
#include <QTemporaryDir>
#include <QThread>

#include <cstdio>
#include <cstdlib>

namespace {

struct Launch {
    double newestMs = 0;
    SlowFolder::Counts toNewest;
    double refreshMs = 0;  // 0: the refresh did not end in time
    SlowFolder::Counts toRefreshed;
};

// One launch of the library over the mounted folder, until its first refresh has ended.
Launch launch(const QString& cacheFile, const SlowFolder& share) {
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
    const SlowFolder::Counts before = share.counts();
    QElapsedTimer clock;
    QObject observer;
    QObject::connect(
        &notify(), &ApplicationEvents::videoUpdated, &observer,
        [&] {
            if (result.newestMs == 0) {
                result.newestMs = clock.nsecsElapsed() / 1e6;
                result.toNewest = share.counts() - before;
            }
        },
        Qt::DirectConnection);
    bool ended = false;
    QObject::connect(&model, &MoviesViewModel::refreshed, &observer, [&] {
        ended = true;
        result.refreshMs = clock.nsecsElapsed() / 1e6;
        result.toRefreshed = share.counts() - before;
    });
    clock.start();
    model.refresh();
    const QDeadlineTimer deadline(30 * 60 * 1000);
    while (!ended && !deadline.hasExpired())
        QCoreApplication::processEvents(QEventLoop::AllEvents | QEventLoop::WaitForMoreEvents, 50);
    return result;
}

}  // namespace

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    const int count = argc > 1 ? std::atoi(argv[1]) : 10000;
    QList<double> waits;
    for (int i = 2; i < argc; ++i)
        waits.append(std::atof(argv[i]));
    if (waits.isEmpty())
        waits = {0, 1};
    if (count <= 0) {
        std::fprintf(stderr, "usage: %s [MOVIES [WAIT_MS...]]\n", argv[0]);
        return 2;
    }
    if (const QString reason = SlowFolder::unavailableReason(); !reason.isEmpty()) {
        std::printf("skipped: %s\n", qPrintable(reason));
        return 0;
    }
    QTemporaryDir work(QDir::tempPath() + QStringLiteral("/reelnook-slow-XXXXXX"));
    useScratchHome(work.path());
    const QString folder = work.filePath(QStringLiteral("movies"));
    if (!makeMovieFolder(folder, count)) {
        std::fprintf(stderr, "could not make %d movies (is ffmpeg installed, is there room?)\n", count);
        return 1;
    }
    // Files changed within the last two seconds are read again by every refresh: let them settle.
    QThread::msleep(2100);
    warmUpText();

    std::printf("%7s %7s %6s %10s %12s %10s %12s\n", "movies", "wait", "cache", "newest", "requests", "refresh",
                "requests");
    std::printf("%7s %7s %6s %10s %12s %10s %12s\n", "", "(ms)", "", "(ms)", "per movie", "(ms)", "per movie");
    for (const double wait : waits) {
        SlowFolder share(folder, work.filePath(QStringLiteral("share")), wait);
        if (!share.isMounted() || !share.error().isEmpty()) {
            std::fprintf(stderr, "the slow folder could not be mounted: %s\n", qPrintable(share.error()));
            return 1;
        }
        global().setMoviesFolderOverride(share.mountPoint());
        const QString cacheFile = work.filePath(QStringLiteral("library.cbor"));
        QFile::remove(cacheFile);
        for (const bool warm : {false, true}) {
            // As at a later launch: what the kernel kept of the folder (1 s) has expired.
            QThread::msleep(1500);
            const Launch result = launch(cacheFile, share);
            std::printf("%7d %7g %6s %10.0f %12.2f %10.0f %12.2f\n", count, wait, warm ? "warm" : "empty",
                        result.newestMs, double(result.toNewest.total()) / count, result.refreshMs,
                        double(result.toRefreshed.total()) / count);
            std::fflush(stdout);
            std::fprintf(stderr, "  %g ms, %s cache: to the newest row %s; whole refresh %s\n", wait,
                         warm ? "warm" : "empty", qPrintable(result.toNewest.toString()),
                         qPrintable(result.toRefreshed.toString()));
            if (result.refreshMs == 0) {
                std::fprintf(stderr, "the refresh did not end within 30 minutes\n");
                return 1;
            }
        }
        global().setMoviesFolderOverride({});
        if (!share.unmount()) {
            std::fprintf(stderr, "could not unmount %s\n", qPrintable(share.mountPoint()));
            return 1;
        }
    }
    if (count == 10000 && waits.contains(1))
        std::printf("goal at 1 ms: newest within 3000 ms with the warm cache, within 5000 ms with the empty one\n");
    return 0;
}
