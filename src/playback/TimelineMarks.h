#pragma once

#include "core/Records.h"

#include <QList>
#include <QString>
#include <QUuid>
#include <array>

// One annotated item as the timeline shows it: its text and its colour index
// (VideoSliderCell's colour indices).
struct TickMark {
    QString text;
    int color = 0;
    friend bool operator==(const TickMark&, const TickMark&) = default;
};

// The marks of the timeline as a value: for each of its 100 ticks, the annotated items ("Mark:",
// "Death: … (F)", "Death: … (E)") whose start is nearest to it as a share of the movie's length
// (halves away from zero), in list order. Items at or after the end, before the start, or of a
// movie without length are on no tick. Computed once from a list, then kept up to date one
// added or removed item at a time, so that a change costs what one item costs.
class TimelineMarks {
public:
    static constexpr int tickCount = 100;

    TimelineMarks() = default;
    explicit TimelineMarks(const QList<SubtitleItem>& items);

    // An item added to the list: it goes after the items of its tick that start no later.
    void add(const SubtitleItem& item);
    // An item removed from the list (found by its id).
    void remove(const SubtitleItem& item);

    // The items of tick `index`, in list order; the first one's colour is the one drawn.
    QList<TickMark> marksAt(int index) const;
    // The colour drawn at tick `index`: 0 for none.
    int colorAt(int index) const;

    friend bool operator==(const TimelineMarks&, const TimelineMarks&) = default;

private:
    struct Entry {
        double start = 0;
        QUuid id;
        TickMark mark;
        friend bool operator==(const Entry&, const Entry&) = default;
    };
    std::array<QList<Entry>, tickCount> ticks_;
};
