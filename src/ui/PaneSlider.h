#pragma once

#include <QObject>

class QPropertyAnimation;
class QWidget;

// Slides a side pane in and out by animating its width between 0 and `width`; the pane's
// content is hidden while the pane is closed, so it takes no room and no keyboard focus.
class PaneSlider : public QObject {
    Q_OBJECT
public:
    PaneSlider(QWidget* pane, QWidget* content, int width, bool shown);

    bool isShown() const { return shown_; }
    void setShown(bool shown);

private:
    QWidget* pane_;
    QWidget* content_;
    int width_;
    bool shown_;
    QPropertyAnimation* animation_;
};
