#pragma once

#include <QWidget>

// Three panes side by side with a black one-pixel line at each pane boundary and no
// resizing handles: each pane takes the width it asks for. The two lines are always there,
// also when the sidebar or the detail pane is absent.
class NavigationSplitView : public QWidget {
    Q_OBJECT
public:
    NavigationSplitView(QWidget* sidebar, QWidget* content, QWidget* detail, QWidget* parent = nullptr);
};
