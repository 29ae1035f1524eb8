#pragma once

#include "core/Records.h"

#include <QObject>

// The player is announced by pointer only; core never needs its definition. Qt's meta-type
// system then treats Player* as an opaque pointer, not as a QObject pointer.
class Player;
Q_DECLARE_OPAQUE_POINTER(Player*)

// The application events: one signal per event, with its typed argument. Posting is emitting
// on notify(); observing is connecting to notify() with a receiver and Qt::DirectConnection,
// so that handlers run synchronously, in connection order, on the posting thread, and each
// connection ends with its receiver.
class ApplicationEvents : public QObject {
    Q_OBJECT

Q_SIGNALS:
    // A movie was chosen in the library (or handed over from outside) and is opened now.
    void videoSelected(const VideoItem& item);
    // The video surface gave its player a new item; the player is not null.
    void videoLoaded(Player* player);
    // The playing position, about once per second of playback.
    void videoCursorChanged(double seconds);
    // A library refresh put a new list in place.
    void videoUpdated();
    // A mark was added to or removed from the open movie's list; `item` is that mark.
    void refreshMarks(const SubtitleItem& item);

private:
    ApplicationEvents() = default;
    friend ApplicationEvents& notify();
};

// The process-wide event object.
ApplicationEvents& notify();
