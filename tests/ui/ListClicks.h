#pragma once

#include "ui/IndexListView.h"

#include <QCoreApplication>
#include <QEvent>
#include <QTest>

// A left click on row `row` of `list`, then the pick it makes, which the list tells once the
// press is handled (so that a question it leads to runs after it).
inline void clickRow(IndexListView* list, int row) {
    QTest::mouseClick(list->viewport(), Qt::LeftButton, {}, list->visualRect(list->model()->index(row, 0)).center());
    QCoreApplication::sendPostedEvents(list, QEvent::MetaCall);
}

// The rows the list draws as selected.
inline QList<int> drawnSelection(const IndexListView* list) {
    QList<int> rows;
    for (const QModelIndex& index : list->selectionModel()->selectedIndexes())
        rows << index.row();
    return rows;
}
