#pragma once

class QThreadPool;

// A thread pool that runs its tasks one at a time, in the order started, on one thread that
// ends after 30 s without work. Never deleted: a task still running when the program quits
// must find its pool alive.
QThreadPool& newSerialPool();
