#include "playback/TimelineMarks.h"

#include "playback/VideoSliderCell.h"
#include "subtitles/SubtitleSRT.h"

#include <algorithm>
#include <cmath>
#include <optional>

namespace {

// The colour index on the timeline of an annotated text's colour; none for a plain cue.
std::optional<int> tickColor(const QString& text) {
    switch (SubtitleSRT::shared().annotationColor(text).value_or(ItemColor::white)) {
    case ItemColor::gray:
        return VideoSliderCell::gray;
    case ItemColor::green:
        return VideoSliderCell::green;
    case ItemColor::orange:
        return VideoSliderCell::orange;
    case ItemColor::white:
        break;
    }
    return std::nullopt;
}

std::optional<int> tickOf(const SubtitleItem& item) {
    const double tick = std::round(item.stime * TimelineMarks::tickCount / item.duration);
    // Compared as a double first: a huge or non-finite quotient must not become an int.
    if (!std::isfinite(tick) || tick < 0 || tick >= TimelineMarks::tickCount)
        return std::nullopt;
    return int(tick);
}

}  // namespace

TimelineMarks::TimelineMarks(const QList<SubtitleItem>& items) {
    for (const SubtitleItem& item : items) {
        const auto tick = tickOf(item);
        if (!tick)
            continue;
        if (const auto color = tickColor(item.text))
            ticks_[*tick].append(Entry{item.stime, item.id, TickMark{item.text, *color}});
    }
}

void TimelineMarks::add(const SubtitleItem& item) {
    const auto tick = tickOf(item);
    const auto color = tick ? tickColor(item.text) : std::nullopt;
    if (!color)
        return;
    QList<Entry>& entries = ticks_[*tick];
    const auto place = std::upper_bound(entries.cbegin(), entries.cend(), item.stime,
                                        [](double start, const Entry& entry) { return start < entry.start; });
    entries.insert(place - entries.cbegin(), Entry{item.stime, item.id, TickMark{item.text, *color}});
}

void TimelineMarks::remove(const SubtitleItem& item) {
    const auto tick = tickOf(item);
    if (!tick)
        return;
    QList<Entry>& entries = ticks_[*tick];
    const auto found =
        std::find_if(entries.cbegin(), entries.cend(), [&item](const Entry& entry) { return entry.id == item.id; });
    if (found != entries.cend())
        entries.erase(found);
}

QList<TickMark> TimelineMarks::marksAt(int index) const {
    QList<TickMark> marks;
    if (index < 0 || index >= tickCount)
        return marks;
    for (const Entry& entry : ticks_[index])
        marks.append(entry.mark);
    return marks;
}

int TimelineMarks::colorAt(int index) const {
    if (index < 0 || index >= tickCount || ticks_[index].isEmpty())
        return 0;
    return ticks_[index].constFirst().mark.color;
}
