#pragma once

#include "playback/VideoSliderCell.h"

#include <QSlider>
#include <functional>

// The timeline: a horizontal slider over 100 ticks (values 0 to 99) that draws the marks of
// its cell instead of standard ticks, and a half-transparent knob. It reports each change the
// user makes (a drag when released, a click, a key, the wheel) once through
// `onValueChanged`, and never a value set by the program.
class VideoSlider : public QSlider {
    Q_OBJECT
public:
    static constexpr int tickCount = 100;

    // The cell is the caller's and must outlive the slider.
    explicit VideoSlider(VideoSliderCell& cell, QWidget* parent = nullptr);

    VideoSliderCell& cell() const { return cell_; }

    // The position in percent of the movie (0 to 100); the knob settles on the nearest tick.
    // Not finite counts as 0. While the user holds the knob the shown position stays theirs.
    void setDoubleValue(double value);
    double doubleValue() const { return doubleValue_; }

    // Called with the tick the user chose, as a double.
    std::function<void(double)> onValueChanged;

    // The centre of tick `index`: where the knob's centre is when the slider shows that tick,
    // on the bar's vertical centre.
    QPointF tickCenter(int index) const;

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    VideoSliderCell& cell_;
    double doubleValue_ = 0;
    bool settingValue_ = false;
};
