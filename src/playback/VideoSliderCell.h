#pragma once

#include "playback/ItemColors.h"

#include <QColor>
#include <QList>
#include <QRectF>
#include <QString>
#include <array>
#include <optional>

class QPainter;
class TimelineMarks;
class VideoSlider;

// The timeline's marks and its knob drawing. Marks are kept per tick (100 ticks): each tick
// shows the first non-zero colour given to it since the last reset.
class VideoSliderCell {
public:
    // Colour indices of the marks.
    enum : int { clear = 0, green = 1, orange = 2, gray = 3 };

    struct Mark {
        int index = 0;  // tick, 0 to 99
        int value = 0;  // colour index
        friend bool operator==(const Mark&, const Mark&) = default;
    };

    // The slider that shows this cell; set by the slider.
    VideoSlider* parent = nullptr;
    // The colour of each colour index.
    const std::array<QColor, 4> colors{QColor(Qt::transparent), itemQColor(ItemColor::green),
                                       itemQColor(ItemColor::orange), itemQColor(ItemColor::gray)};
    // The colour index last given to each tick; its length bounds the ticks that take marks.
    QList<int> arr = QList<int>(100, 0);
    // The marks that are drawn, in the order they were first placed.
    QList<Mark> list;

    void reset();
    void setAt(int index, int value);
    // Draws `marks` from now on: one mark per tick that has one, in tick order.
    void setMarks(const TimelineMarks& marks);

    // Where the mark of tick `index` is drawn: a 2 x 4 bar whose left edge is on the tick's
    // centre line and whose middle is on the bar's centre. Empty without a slider.
    QRectF rectOfTickMark(int index) const;
    // Draws the marks of `list`; colour indices outside `colors` draw nothing.
    void drawTickMarks(QPainter& painter) const;
    // Draws the knob in `rect`: a half-transparent gray rounded rectangle inset by 8 on the
    // left and right and 4 on the top and bottom.
    void drawKnob(QPainter& painter, const QRectF& rect) const;
};
