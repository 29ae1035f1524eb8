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

std::optional<int> markColorIndex(const QString& text) {
    if (SubtitleSRT::Expression::mark().match(text).hasMatch())
        return VideoSliderCell::gray;
    const QRegularExpressionMatch death = SubtitleSRT::Expression::death().match(text);
    if (death.hasMatch())
        return death.captured(2) == QLatin1String("(F)") ? VideoSliderCell::green : VideoSliderCell::orange;
    return std::nullopt;
}

void placeMarks(VideoSliderCell& cell, const QList<SubtitleItem>& items) {
    cell.reset();
    for (const SubtitleItem& item : items) {
        const std::optional<int> color = markColorIndex(item.text);
        if (!color)
            continue;
        const double tick = std::round(item.stime * 100.0 / item.duration);
        // Compared as a double first: a huge or non-finite quotient must not become an int.
        if (!std::isfinite(tick) || tick < 0 || tick >= cell.arr.size())
            continue;
        cell.setAt(int(tick), *color);
    }
}
