#include "ui/IndexListView.h"

#include <QItemSelectionModel>
#include <QMouseEvent>

IndexListView::IndexListView(QWidget* parent) : QListView(parent) {
    setSelectionMode(QAbstractItemView::SingleSelection);
}

void IndexListView::setModel(QAbstractItemModel* model) {
    QListView::setModel(model);
    connect(model, &QAbstractItemModel::modelReset, this, &IndexListView::showSelection);
    connect(model, &QAbstractItemModel::layoutChanged, this, &IndexListView::showSelection);
    connect(model, &QAbstractItemModel::rowsRemoved, this, &IndexListView::showSelection);
    connect(model, &QAbstractItemModel::rowsInserted, this, &IndexListView::showSelection);
}

void IndexListView::setSelectedIndex(std::optional<int> index) {
    selectedIndex_ = index;
    showSelection();
}

std::optional<int> IndexListView::selectedRowAt(const QPoint& pos) const {
    const QModelIndex row = indexAt(pos);
    if (!row.isValid() || selectedIndex_ != row.row())
        return std::nullopt;
    return row.row();
}

void IndexListView::showSelection() {
    if (!model() || !selectionModel())
        return;
    const QModelIndex row = selectedIndex_ ? model()->index(*selectedIndex_, 0) : QModelIndex();
    if (row.isValid())
        selectionModel()->setCurrentIndex(row, QItemSelectionModel::ClearAndSelect);
    else
        selectionModel()->clear();
}

void IndexListView::mousePressEvent(QMouseEvent* event) {
    // Qt's views select on any button; here only the left one picks a row. A right press
    // only leads to the context menu, which belongs to the selected row.
    if (event->button() != Qt::LeftButton) {
        event->accept();
        return;
    }
    userInput_ = true;
    QListView::mousePressEvent(event);
    userInput_ = false;
}

void IndexListView::mouseMoveEvent(QMouseEvent* event) {
    // A drag with another button held must not select either.
    if (event->buttons() != Qt::NoButton && !(event->buttons() & Qt::LeftButton)) {
        event->accept();
        return;
    }
    QListView::mouseMoveEvent(event);
}

void IndexListView::keyPressEvent(QKeyEvent* event) {
    userInput_ = true;
    QListView::keyPressEvent(event);
    userInput_ = false;
}

void IndexListView::currentChanged(const QModelIndex& current, const QModelIndex& previous) {
    QListView::currentChanged(current, previous);
    // Told once the input event is handled: a handler that asks the user something must not
    // run inside the press, whose own handling would select the pressed row after it.
    if (userInput_ && current.isValid() && selectedIndex_ != current.row())
        QMetaObject::invokeMethod(
            this, [this, row = current.row()] { Q_EMIT picked(row); }, Qt::QueuedConnection);
}
