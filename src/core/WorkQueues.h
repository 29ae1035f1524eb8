#pragma once

class QThreadPool;

// The program's serial work queues, made in one place when the program starts (the first call
// of workQueues()) and taken by the code that queues work on them. Each runs its tasks one at a
// time, in the order started, on one thread that ends after 30 s without work. Results come
// back to a context object on the main thread (QtConcurrent::run(pool, ...).then(context, ...)
// or a queued invoke), never through a pointer read on a worker.
class WorkQueues {
public:
    QThreadPool& library() const { return *library_; }    // folder scans and the library's cache file
    QThreadPool& probes() const { return *probes_; }      // lengths of movies
    QThreadPool& sidecars() const { return *sidecars_; }  // sidecar reads and the player's subtitle files

    // Drops the work not started yet and waits up to `msecs` for the running work; true when
    // nothing runs any more. Quitting calls it before it removes the files that work writes.
    bool finish(int msecs);

private:
    WorkQueues();
    friend WorkQueues& workQueues();

    // Never deleted: a task still running when the program quits must find its pool alive.
    QThreadPool* library_;
    QThreadPool* probes_;
    QThreadPool* sidecars_;
};

WorkQueues& workQueues();
