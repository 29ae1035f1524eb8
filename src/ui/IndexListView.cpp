#include "ui/IndexListView.h"

#include <QItemSelectionModel>

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
    userInput_ = true;
    QListView::mousePressEvent(event);
    userInput_ = false;
}

void IndexListView::keyPressEvent(QKeyEvent* event) {
    userInput_ = true;
    QListView::keyPressEvent(event);
    userInput_ = false;
}

void IndexListView::currentChanged(const QModelIndex& current, const QModelIndex& previous) {
    QListView::currentChanged(current, previous);
    if (userInput_ && current.isValid() && selectedIndex_ != current.row())
        emit picked(current.row());
}
