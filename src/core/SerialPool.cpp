#include "core/SerialPool.h"

#include <QThreadPool>

QThreadPool& newSerialPool() {
    auto* pool = new QThreadPool;
    pool->setMaxThreadCount(1);
    pool->setExpiryTimeout(30000);
    return *pool;
}
