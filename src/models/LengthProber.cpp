#include "models/LengthProber.h"

#include "models/MediaProbe.h"

#include <QElapsedTimer>
#include <QMutex>
#include <QSet>
#include <QThreadPool>
#include <QtConcurrent/QtConcurrentRun>

#include <deque>
#include <utility>

struct LengthProber::Queue {
    QMutex lock;
    QString openPath;  // of the open movie
    std::deque<QUrl> outside;
    // Only read, never written: the list is shared with the scanner and the list model, and a
    // write would copy it whole. Measured entries are passed over.
    QList<ScannedMovie> library;
    qsizetype next = 0;          // in `library`: what comes before was taken
    QSet<qsizetype> takenEarly;  // past `next`: the open movie, taken out of turn
    bool lookForOpen = false;    // the open movie may be in `library` past `next`

    bool isEmpty() const { return outside.empty() && next >= library.size(); }

    bool isDone(qsizetype at) const { return library.at(at).measured || takenEarly.contains(at); }

    // Moves `next` past what needs no measuring, and lets the list go once all is taken (on the
    // work queue: a whole library's entries are freed there).
    void skipDone() {
        while (next < library.size() && isDone(next))
            takenEarly.remove(next++);
        if (next >= library.size()) {
            library = {};  // clear() would give a list still shared a buffer of the same capacity
            takenEarly.clear();
            next = 0;
        }
    }

    // The next file to measure; false when none is left.
    bool take(MeasuredLength& job, bool& urgent) {
        const QMutexLocker locked(&lock);
        if (!outside.empty()) {
            job = MeasuredLength{};
            job.movie.path = outside.front().toLocalFile();
            job.outside = true;
            outside.pop_front();
            urgent = true;
            return true;
        }
        skipDone();
        if (library.isEmpty())
            return false;
        urgent = false;
        // One look per open movie and list: once taken or missing, it is not looked for again.
        if (std::exchange(lookForOpen, false) && !openPath.isEmpty()) {
            for (qsizetype i = next; i < library.size(); ++i)
                if (!isDone(i) && library.at(i).path == openPath) {
                    takenEarly.insert(i);
                    job = MeasuredLength{library.at(i), 0, false};
                    urgent = true;
                    return true;
                }
        }
        job = MeasuredLength{library.at(next++), 0, false};
        return true;
    }

    // Measures until a batch is full; runs on the work queue.
    QList<MeasuredLength> measureBatch() {
        QList<MeasuredLength> batch;
        QElapsedTimer sinceStart;
        sinceStart.start();
        MeasuredLength job;
        bool urgent = false;
        while (!MediaProbe::isInterrupted() && take(job, urgent)) {
            job.seconds = MediaProbe::duration(job.movie.path);
            if (MediaProbe::isInterrupted())
                break;  // an interrupted probe measured nothing
            batch.append(std::move(job));
            if (urgent || batch.size() >= 64 || sinceStart.elapsed() >= 100)
                break;
        }
        const QMutexLocker locked(&lock);
        skipDone();
        return batch;
    }
};

LengthProber::LengthProber(QThreadPool& queue, QObject* parent)
    : QObject(parent), pool_(queue), queue_(std::make_shared<Queue>()) {}

LengthProber::~LengthProber() {
    // A batch under way finishes into nothing: its continuation belongs to this object.
    const QMutexLocker locked(&queue_->lock);
    queue_->outside.clear();
    queue_->library = {};
    queue_->takenEarly.clear();
    queue_->next = 0;
}

void LengthProber::setOpenMovie(const QUrl& url) {
    const QMutexLocker locked(&queue_->lock);
    queue_->openPath = url.toLocalFile();
    queue_->lookForOpen = true;
}

void LengthProber::measure(QList<ScannedMovie> movies) {
    if (movies.isEmpty())
        return;
    {
        const QMutexLocker locked(&queue_->lock);
        // Taken whole, not copied: the list may be a whole library, and the main thread's turn short.
        if (queue_->library.isEmpty()) {
            queue_->library = std::move(movies);
        } else {
            queue_->library.append(std::move(movies));
        }
        queue_->lookForOpen = true;
    }
    startBatch();
}

void LengthProber::measureOutside(const QUrl& url) {
    {
        const QMutexLocker locked(&queue_->lock);
        queue_->outside.push_back(url);
    }
    startBatch();
}

void LengthProber::startBatch() {
    if (running_)
        return;
    running_ = true;
    QtConcurrent::run(&pool_, [queue = queue_] {
        return queue->measureBatch();
    }).then(this, [this](const QList<MeasuredLength>& batch) {
        running_ = false;
        bool empty = false;
        {
            const QMutexLocker locked(&queue_->lock);
            empty = queue_->isEmpty();
        }
        if (!empty && !MediaProbe::isInterrupted())
            startBatch();
        if (!batch.isEmpty())
            Q_EMIT measured(batch);
        if (!running_)
            Q_EMIT idle();
    });
}
