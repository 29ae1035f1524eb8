#include "core/Events.h"

#include <algorithm>

EventCenter& notify() {
    static EventCenter instance;
    return instance;
}

void EventCenter::post(const QString& name, const QVariant& object) {
    const auto found = observers_.constFind(name);
    if (found == observers_.constEnd())
        return;
    // A handler may subscribe or unsubscribe while the event is delivered: deliver to the
    // observers present at the post, skipping any that went away meanwhile.
    const QList<Observer> snapshot = *found;
    for (const Observer& observer : snapshot) {
        if (!observer.owner)
            continue;
        const QList<Observer>& current = observers_.value(name);
        const bool stillSubscribed = std::any_of(current.begin(), current.end(),
                                                 [&](const Observer& o) { return o.serial == observer.serial; });
        if (stillSubscribed)
            observer.handler(object);
    }
}

void EventCenter::observe(const QString& name, QObject* owner, Handler handler) {
    if (!owner || !handler)
        return;
    observers_[name].append(Observer{owner, std::move(handler), nextSerial_++});
    QObject::connect(owner, &QObject::destroyed, owner, [this, owner] { removeObserver(owner); });
}

void EventCenter::removeObserver(const QObject* owner) {
    for (auto it = observers_.begin(); it != observers_.end();) {
        it->removeIf([owner](const Observer& o) { return o.owner == owner || !o.owner; });
        it = it->isEmpty() ? observers_.erase(it) : std::next(it);
    }
}
