#include "core/WorkQueues.h"

#include <QDeadlineTimer>
#include <QThreadPool>

namespace {

QThreadPool* newSerialPool() {
    auto* pool = new QThreadPool;
    pool->setMaxThreadCount(1);
    pool->setExpiryTimeout(30000);
    return pool;
}

}  // namespace

WorkQueues::WorkQueues() : library_(newSerialPool()), probes_(newSerialPool()), sidecars_(newSerialPool()) {}

bool WorkQueues::finish(int msecs) {
    const QDeadlineTimer deadline(msecs);
    bool done = true;
    for (QThreadPool* pool : {library_, probes_, sidecars_}) {
        pool->clear();
        done = pool->waitForDone(int(std::max<qint64>(0, deadline.remainingTime()))) && done;
    }
    return done;
}

WorkQueues& workQueues() {
    static WorkQueues* queues = new WorkQueues;
    return *queues;
}
