#pragma once

#include <QHash>
#include <QIcon>
#include <QStyledItemDelegate>

// A library row: the application icon (or a film clapper) at 28 x 28, the title in the
// record's colour in a serif face at 14 pt, and the creation date in gray at 12 pt.
class MovieRowDelegate : public QStyledItemDelegate {
    Q_OBJECT
public:
    using QStyledItemDelegate::QStyledItemDelegate;

    void paint(QPainter* painter, const QStyleOptionViewItem& option, const QModelIndex& index) const override;
    QSize sizeHint(const QStyleOptionViewItem& option, const QModelIndex& index) const override;

    static QFont titleFont();
    static QFont dateFont();

private:
    QIcon iconFor(const QString& bundleIdentifier) const;

    mutable QHash<QString, QIcon> icons_;  // by bundle identifier; looked up once per run
};
