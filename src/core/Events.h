#pragma once

#include <QHash>
#include <QList>
#include <QObject>
#include <QPointer>
#include <QString>
#include <QVariant>
#include <functional>
#include <optional>

// The application events. Two of them are posted under a name that differs from the
// identifier the code uses.
namespace Events {
inline const QString videoSelected = QStringLiteral("videoSelected");    // carries VideoItem
inline const QString videoReady = QStringLiteral("videoLoaded");         // carries the Player*
inline const QString videoUpdated = QStringLiteral("videoUpdated");      // carries nothing
inline const QString videoPlaying = QStringLiteral("videoCursorChanged");  // carries double seconds
inline const QString refreshMarks = QStringLiteral("refreshMarks");      // carries SubtitleItem
}  // namespace Events

// A process-wide event centre: handlers registered under a name run synchronously, in
// registration order, on the posting thread. A subscription ends when its owner is destroyed.
class EventCenter {
public:
    using Handler = std::function<void(const QVariant& object)>;

    void post(const QString& name, const QVariant& object = {});
    void observe(const QString& name, QObject* owner, Handler handler);
    // Ends every subscription of `owner`.
    void removeObserver(const QObject* owner);

private:
    struct Observer {
        QPointer<QObject> owner;
        Handler handler;
        quint64 serial;
    };
    QHash<QString, QList<Observer>> observers_;
    quint64 nextSerial_ = 0;
};

EventCenter& notify();

// The object of an event when it has exactly type T; absent otherwise, so that a handler
// given an absent object or one of another type changes nothing.
template <class T>
std::optional<T> eventObject(const QVariant& object) {
    if (object.metaType() != QMetaType::fromType<T>())
        return std::nullopt;
    return object.value<T>();
}
