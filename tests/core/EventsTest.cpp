#include "core/Events.h"
#include "core/Records.h"

#include <QObject>
#include <QThread>
#include <gtest/gtest.h>
#include <memory>

TEST(Events, NamesDifferForTwoIdentifiers) {
    EXPECT_EQ(Events::videoReady, "videoLoaded");
    EXPECT_EQ(Events::videoPlaying, "videoCursorChanged");
    EXPECT_EQ(Events::videoSelected, "videoSelected");
    EXPECT_EQ(Events::videoUpdated, "videoUpdated");
    EXPECT_EQ(Events::refreshMarks, "refreshMarks");
}

TEST(Events, DeliversSynchronouslyInRegistrationOrder) {
    EventCenter center;
    QObject a, b;
    QStringList seen;
    center.observe("e", &a, [&](const QVariant& v) { seen << "a" + v.toString(); });
    center.observe("e", &b, [&](const QVariant& v) { seen << "b" + v.toString(); });
    center.observe("other", &a, [&](const QVariant&) { seen << "other"; });
    center.post("e", QString("1"));
    EXPECT_EQ(seen, (QStringList{"a1", "b1"}));
    center.post("nobody listens");
    EXPECT_EQ(seen.size(), 2);
}

TEST(Events, DeliveryRunsOnThePostingThread) {
    EventCenter center;
    QObject owner;
    QThread* handlerThread = nullptr;
    center.observe("e", &owner, [&](const QVariant&) { handlerThread = QThread::currentThread(); });
    std::unique_ptr<QThread> poster(QThread::create([&] { center.post("e"); }));
    poster->start();
    poster->wait();
    EXPECT_EQ(handlerThread, poster.get());
}

TEST(Events, SubscriptionEndsWithItsOwner) {
    EventCenter center;
    int calls = 0;
    auto owner = std::make_unique<QObject>();
    center.observe("e", owner.get(), [&](const QVariant&) { ++calls; });
    center.post("e");
    owner.reset();
    center.post("e");
    EXPECT_EQ(calls, 1);
}

TEST(Events, HandlerMayUnsubscribeOthersDuringDelivery) {
    EventCenter center;
    QObject first;
    auto second = std::make_unique<QObject>();
    int secondCalls = 0;
    center.observe("e", &first, [&](const QVariant&) { second.reset(); });
    center.observe("e", second.get(), [&](const QVariant&) { ++secondCalls; });
    center.post("e");
    EXPECT_EQ(secondCalls, 0);
    center.removeObserver(&first);
    center.post("e");
}

TEST(Events, ObjectsOfAnotherTypeAreRejected) {
    SubtitleItem mark(1, 3, "Mark: x", ItemColor::gray, 10);
    EXPECT_TRUE(eventObject<SubtitleItem>(QVariant::fromValue(mark)).has_value());
    EXPECT_FALSE(eventObject<SubtitleItem>(QVariant::fromValue(VideoItem())).has_value());
    EXPECT_FALSE(eventObject<VideoItem>(QVariant()).has_value());
    EXPECT_FALSE(eventObject<double>(QVariant(12)).has_value());
    EXPECT_FALSE(eventObject<double>(QVariant(QString("12.5"))).has_value());
    ASSERT_TRUE(eventObject<double>(QVariant(12.5)).has_value());
    EXPECT_EQ(*eventObject<double>(QVariant(12.5)), 12.5);
}

TEST(Events, ProcessWideCentreIsOne) {
    EXPECT_EQ(&notify(), &notify());
}
