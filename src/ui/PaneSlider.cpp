#include "ui/PaneSlider.h"

#include <QPropertyAnimation>
#include <QWidget>

PaneSlider::PaneSlider(QWidget* pane, QWidget* content, int width, bool shown)
    : QObject(pane),
      pane_(pane),
      content_(content),
      width_(width),
      shown_(shown),
      animation_(new QPropertyAnimation(pane, "maximumWidth", this)) {
    pane->setMinimumWidth(0);
    pane->setMaximumWidth(shown ? width : 0);
    content->setVisible(shown);
    animation_->setDuration(200);
    connect(animation_, &QPropertyAnimation::finished, this, [this] { content_->setVisible(shown_); });
}

void PaneSlider::setShown(bool shown) {
    if (shown == shown_)
        return;
    shown_ = shown;
    if (shown)
        content_->setVisible(true);
    animation_->stop();
    animation_->setStartValue(pane_->maximumWidth());
    animation_->setEndValue(shown ? width_ : 0);
    animation_->start();
}
