#include "ui/IndexListView.h"

#include <QItemSelectionModel>
#include <QKeyEvent>
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

namespace {

bool isReturn(const QKeyEvent* key) { return key->key() == Qt::Key_Return || key->key() == Qt::Key_Enter; }

// The keys a focused list keeps from the window's shortcuts (the arrows step the volume there).
bool isListKey(const QKeyEvent* key) {
    if (key->modifiers() & ~Qt::KeypadModifier)
        return false;
    switch (key->key()) {
    case Qt::Key_Up:
    case Qt::Key_Down:
    case Qt::Key_Home:
    case Qt::Key_End:
    case Qt::Key_Return:
    case Qt::Key_Enter:
        return true;
    default:
        return false;
    }
}

}  // namespace

bool IndexListView::event(QEvent* event) {
    if (event->type() == QEvent::ShortcutOverride && isListKey(static_cast<QKeyEvent*>(event))) {
        event->accept();
        return true;
    }
    return QListView::event(event);
}

void IndexListView::keyPressEvent(QKeyEvent* event) {
    if (keysPick_ == KeysPick::onReturn) {
        const QModelIndex current = currentIndex();
        if (isReturn(event) && current.isValid()) {
            event->accept();
            // Told after the key is handled, as a click's pick is.
            QMetaObject::invokeMethod(
                this, [this, row = current.row()] { Q_EMIT picked(row); }, Qt::QueuedConnection);
            return;
        }
        QListView::keyPressEvent(event);  // moves the highlight only
        return;
    }
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
