#include "playback/VideoSliderCell.h"

#include "playback/TimelineMarks.h"
#include "playback/VideoSlider.h"

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

void VideoSliderCell::setMarks(const TimelineMarks& marks) {
    reset();
    for (int tick = 0; tick < TimelineMarks::tickCount && tick < arr.size(); ++tick)
        if (const int color = marks.colorAt(tick))
            setAt(tick, color);
}
