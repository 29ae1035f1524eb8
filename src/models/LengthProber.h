#pragma once

#include "models/LibraryScanner.h"

#include <QList>
#include <QObject>
#include <QUrl>
#include <memory>

class QThreadPool;

// A length the prober measured: for a movie of the library (`movie` as the scanner read it)
// or for a file from outside it (`outside`, measured for its record only).
struct MeasuredLength {
    ScannedMovie movie;
    double seconds = 0;
    bool outside = false;
};

// Measures the lengths of movies on a work queue, one at a time: files from outside the library
// first (they are being opened), then the open movie (its timeline waits for it), then the
// library's in the order given. Results come back on this object's thread in batches (`measured`):
// at once after a file from outside or the open movie, else after 64 lengths or 100 ms.
class LengthProber : public QObject {
    Q_OBJECT
public:
    explicit LengthProber(QThreadPool& queue, QObject* parent = nullptr);
    ~LengthProber() override;

    // The movie whose length goes first when it is queued. Thread-safe.
    void setOpenMovie(const QUrl& url);

    // Queues the movies of `movies` not measured yet (`measured` false); the others are passed
    // over on the work queue, so a whole library can be handed over at no cost here.
    void measure(QList<ScannedMovie> movies);
    void measureOutside(const QUrl& url);

    // Nothing queued and no batch under way.
    bool isIdle() const { return !running_; }

Q_SIGNALS:
    void measured(const QList<MeasuredLength>& lengths);
    // The queue ran empty after the last batch.
    void idle();

private:
    struct Queue;
    void startBatch();

    QThreadPool& pool_;
    std::shared_ptr<Queue> queue_;
    bool running_ = false;
};
