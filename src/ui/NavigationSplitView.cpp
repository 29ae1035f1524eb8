#include "ui/NavigationSplitView.h"

#include <QFrame>
#include <QHBoxLayout>
#include <algorithm>

namespace {

QFrame* separator(QWidget* parent) {
    auto* line = new QFrame(parent);
    line->setObjectName("paneSeparator");
    line->setFixedWidth(1);
    line->setStyleSheet(QStringLiteral("background: black; border: none;"));
    return line;
}

}  // namespace

NavigationSplitView::NavigationSplitView(QWidget* sidebar, QWidget* content, QWidget* detail, QSize contentMinimum,
                                         QWidget* parent)
    : QWidget(parent), contentMinimum_(contentMinimum) {
    auto* layout = new QHBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    if (sidebar)
        layout->addWidget(sidebar);
    layout->addWidget(separator(this));
    layout->addWidget(content, 1);
    layout->addWidget(separator(this));
    if (detail)
        layout->addWidget(detail);
}

QSize NavigationSplitView::minimumSizeHint() const {
    const QSize panes = layout()->minimumSize();
    return {panes.width() + contentMinimum_.width(), std::max(panes.height(), contentMinimum_.height())};
}
