#include "playback/VideoSliderCell.h"

#include "playback/VideoSlider.h"
#include "subtitles/SubtitleSRT.h"

#include <QPainter>
#include <QPainterPath>
#include <cmath>

void VideoSliderCell::reset() {
    arr.fill(0);
    list.clear();
}

void VideoSliderCell::setAt(int index, int value) {
    if (index < 0 || index >= arr.size())
        return;
    arr[index] = value;
    for (Mark& mark : list) {
        if (mark.index != index)
            continue;
        if (mark.value == 0)
            mark.value = value;
        return;
    }
    list.append(Mark{index, value});
}

QRectF VideoSliderCell::rectOfTickMark(int index) const {
    if (!parent)
        return {};
    const QPointF centre = parent->tickCenter(index);
    return QRectF(centre.x(), centre.y() - 2.0, 2.0, 4.0);
}

void VideoSliderCell::drawTickMarks(QPainter& painter) const {
    for (const Mark& mark : list) {
        if (mark.value < 0 || mark.value >= int(colors.size()))
            continue;
        painter.fillRect(rectOfTickMark(mark.index), colors[mark.value]);
    }
}

void VideoSliderCell::drawKnob(QPainter& painter, const QRectF& rect) const {
    const QRectF knob = rect.adjusted(8.0, 4.0, -8.0, -4.0);
    if (!knob.isValid())
        return;
    QPainterPath path;
    path.addRoundedRect(knob, 3.0, 3.0);
    painter.save();
    painter.setRenderHint(QPainter::Antialiasing);
    painter.fillPath(path, QColor::fromRgbF(0.5, 0.5, 0.5, 0.5));
    painter.restore();
}

namespace {

// The colour index on the timeline of an annotated text's colour.
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

// The tick of an item's start as a share of the movie's length (halves away from zero);
// none at or after the end, before the start, or without a length.
std::optional<int> tickOf(const SubtitleItem& item, int tickCount) {
    const double tick = std::round(item.stime * 100.0 / item.duration);
    // Compared as a double first: a huge or non-finite quotient must not become an int.
    if (!std::isfinite(tick) || tick < 0 || tick >= tickCount)
        return std::nullopt;
    return int(tick);
}

}  // namespace

void placeMarks(VideoSliderCell& cell, const QList<SubtitleItem>& items) {
    cell.reset();
    for (const SubtitleItem& item : items) {
        const std::optional<int> color = tickColor(item.text);
        if (!color)
            continue;
        if (const std::optional<int> tick = tickOf(item, int(cell.arr.size())))
            cell.setAt(*tick, *color);
    }
}

QList<TickMark> marksAtTick(const QList<SubtitleItem>& items, int index, int tickCount) {
    QList<TickMark> marks;
    for (const SubtitleItem& item : items) {
        const std::optional<int> color = tickColor(item.text);
        if (color && tickOf(item, tickCount) == index)
            marks.append(TickMark{item.text, *color});
    }
    return marks;
}
