#include "playback/VideoSlider.h"

#include <QPainter>
#include <QProxyStyle>
#include <QStyleOptionSlider>
#include <cmath>

namespace {

// A click on the bar moves the knob to the click rather than one page towards it.
class ClickToPositionStyle : public QProxyStyle {
public:
    int styleHint(StyleHint hint, const QStyleOption* option, const QWidget* widget,
                  QStyleHintReturn* returnData) const override {
        if (hint == QStyle::SH_Slider_AbsoluteSetButtons)
            return Qt::LeftButton;
        return QProxyStyle::styleHint(hint, option, widget, returnData);
    }
};

}  // namespace

VideoSlider::VideoSlider(VideoSliderCell& cell, QWidget* parent) : QSlider(Qt::Horizontal, parent), cell_(cell) {
    auto* style = new ClickToPositionStyle;
    style->setParent(this);
    setStyle(style);
    cell_.parent = this;
    setRange(0, tickCount - 1);
    setSingleStep(1);
    setPageStep(5);
    setTickPosition(QSlider::NoTicks);
    setTracking(false);  // a drag reports once, when released
    setMinimumHeight(22);
    connect(this, &QSlider::valueChanged, this, [this](int value) {
        if (settingValue_)
            return;
        doubleValue_ = value;
        if (onValueChanged)
            onValueChanged(double(value));
    });
}

void VideoSlider::setDoubleValue(double value) {
    doubleValue_ = std::isfinite(value) ? value : 0.0;
    if (!isSliderDown()) {
        const double tick = std::clamp(std::round(doubleValue_), 0.0, double(tickCount - 1));
        settingValue_ = true;
        setValue(int(tick));
        settingValue_ = false;
    }
    update();
}

QPointF VideoSlider::tickCenter(int index) const {
    QStyleOptionSlider option;
    initStyleOption(&option);
    option.sliderPosition = index;
    option.sliderValue = index;
    const QRect handle = style()->subControlRect(QStyle::CC_Slider, &option, QStyle::SC_SliderHandle, this);
    const QRect groove = style()->subControlRect(QStyle::CC_Slider, &option, QStyle::SC_SliderGroove, this);
    return QPointF(handle.left() + handle.width() / 2.0, groove.top() + groove.height() / 2.0);
}

void VideoSlider::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    QStyleOptionSlider option;
    initStyleOption(&option);
    option.subControls = QStyle::SC_SliderGroove;
    option.tickPosition = QSlider::NoTicks;
    style()->drawComplexControl(QStyle::CC_Slider, &option, &painter, this);

    cell_.drawTickMarks(painter);

    // The knob is drawn within a 21 x 21 box around the handle's centre.
    const QRect handle = style()->subControlRect(QStyle::CC_Slider, &option, QStyle::SC_SliderHandle, this);
    const QPointF centre(handle.left() + handle.width() / 2.0, tickCenter(0).y());
    cell_.drawKnob(painter, QRectF(centre.x() - 10.5, centre.y() - 10.5, 21.0, 21.0));
}
