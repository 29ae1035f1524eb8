#pragma once

#include <QWidget>

// Three panes side by side with a black one-pixel line at each pane boundary and no
// resizing handles: each pane takes the width it asks for. The two lines are always there,
// also when the sidebar or the detail pane is absent.
//
// The window asks room for `contentMinimum` of the middle pane, but a window manager may
// ignore that and make the window smaller: the middle pane then shrinks (to nothing if need
// be) and the side panes keep their widths. A widget minimum on the middle pane would instead
// keep its width and lay it over the detail pane; with the video a native window there, the
// video would cover the marks.
class NavigationSplitView : public QWidget {
    Q_OBJECT
public:
    NavigationSplitView(QWidget* sidebar, QWidget* content, QWidget* detail, QSize contentMinimum,
                        QWidget* parent = nullptr);

    QSize minimumSizeHint() const override;

private:
    QSize contentMinimum_;
};
