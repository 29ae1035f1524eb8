#include "models/LengthProber.h"

#include "models/MediaProbe.h"

#include <QElapsedTimer>
#include <QMutex>
#include <QThreadPool>
#include <QtConcurrent/QtConcurrentRun>

#include <algorithm>
#include <deque>

struct LengthProber::Queue {
    QMutex lock;
    QUrl openURL;
    std::deque<QUrl> outside;
    QList<ScannedMovie> library;
    qsizetype next = 0;  // in `library`: what comes before was taken

    bool isEmpty() const { return outside.empty() && next >= library.size(); }

    // The next file to measure; false when none is left.
    bool take(MeasuredLength& job, bool& urgent) {
        const QMutexLocker locked(&lock);
        if (!outside.empty()) {
            job = MeasuredLength{};
            job.movie.url = outside.front();
            job.outside = true;
            outside.pop_front();
            urgent = true;
            return true;
        }
        if (next >= library.size())
            return false;
        qsizetype at = next;
        urgent = false;
        if (!openURL.isEmpty()) {
            for (qsizetype i = next; i < library.size(); ++i)
                if (library[i].url == openURL) {
                    at = i;
                    urgent = true;
                    break;
                }
        }
        // The open movie moves to the front; the others keep their order.
        if (at != next)
            std::rotate(library.begin() + next, library.begin() + at, library.begin() + at + 1);
        job = MeasuredLength{std::move(library[next]), 0, false};
        ++next;
        if (next >= library.size()) {
            library.clear();
            next = 0;
        }
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
            job.seconds = MediaProbe::duration(job.movie.url.toLocalFile());
            if (MediaProbe::isInterrupted())
                break;  // an interrupted probe measured nothing
            batch.append(std::move(job));
            if (urgent || batch.size() >= 64 || sinceStart.elapsed() >= 100)
                break;
        }
        return batch;
    }
};

LengthProber::LengthProber(QThreadPool& queue, QObject* parent)
    : QObject(parent), pool_(queue), queue_(std::make_shared<Queue>()) {}

LengthProber::~LengthProber() {
    // A batch under way finishes into nothing: its continuation belongs to this object.
    const QMutexLocker locked(&queue_->lock);
    queue_->outside.clear();
    queue_->library.clear();
    queue_->next = 0;
}

void LengthProber::setOpenMovie(const QUrl& url) {
    const QMutexLocker locked(&queue_->lock);
    queue_->openURL = url;
}

void LengthProber::measure(const QList<ScannedMovie>& movies) {
    if (movies.isEmpty())
        return;
    {
        const QMutexLocker locked(&queue_->lock);
        queue_->library.append(movies);
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
