#include "core/Events.h"
#include "core/Records.h"

#include <gtest/gtest.h>
#include <QObject>
#include <QThread>
#include <memory>

namespace {

// Observes `signal` of the process-wide event object as the program does.
template <class Signal, class Slot>
QMetaObject::Connection observe(Signal signal, const QObject* receiver, Slot slot) {
    return QObject::connect(&notify(), signal, receiver, std::move(slot), Qt::DirectConnection);
}

}  // namespace

TEST(Events, DeliversSynchronouslyInConnectionOrder) {
    QObject a, b;
    QStringList seen;
    observe(&ApplicationEvents::videoCursorChanged, &a,
            [&](double s) { seen << QStringLiteral("a") + QString::number(s); });
    observe(&ApplicationEvents::videoCursorChanged, &b,
            [&](double s) { seen << QStringLiteral("b") + QString::number(s); });
    observe(&ApplicationEvents::videoUpdated, &a, [&] { seen << QStringLiteral("updated"); });
    Q_EMIT notify().videoCursorChanged(1.5);
    EXPECT_EQ(seen, (QStringList{QStringLiteral("a1.5"), QStringLiteral("b1.5")}));
    Q_EMIT notify().refreshMarks(SubtitleItem());  // nobody listens
    EXPECT_EQ(seen.size(), 2);
}

TEST(Events, DeliveryRunsOnThePostingThread) {
    QObject receiver;  // lives on this thread
    QThread* handlerThread = nullptr;
    observe(&ApplicationEvents::videoUpdated, &receiver, [&] { handlerThread = QThread::currentThread(); });
    std::unique_ptr<QThread> poster(QThread::create([] { Q_EMIT notify().videoUpdated(); }));
    poster->start();
    poster->wait();
    EXPECT_EQ(handlerThread, poster.get());
}

TEST(Events, ConnectionEndsWithItsReceiver) {
    int calls = 0;
    auto receiver = std::make_unique<QObject>();
    observe(&ApplicationEvents::videoUpdated, receiver.get(), [&] { ++calls; });
    Q_EMIT notify().videoUpdated();
    receiver.reset();
    Q_EMIT notify().videoUpdated();
    EXPECT_EQ(calls, 1);
}

TEST(Events, HandlerMayEndOthersDuringDelivery) {
    QObject first;
    auto second = std::make_unique<QObject>();
    int secondCalls = 0;
    observe(&ApplicationEvents::videoUpdated, &first, [&] { second.reset(); });
    observe(&ApplicationEvents::videoUpdated, second.get(), [&] { ++secondCalls; });
    Q_EMIT notify().videoUpdated();
    EXPECT_EQ(secondCalls, 0);
}

TEST(Events, ProcessWideObjectIsOne) { EXPECT_EQ(&notify(), &notify()); }
