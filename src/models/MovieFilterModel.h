#pragma once

#include <QList>
#include <QSortFilterProxyModel>
#include <QString>
#include <QStringList>

// The library narrowed to the titles that contain the filter text, case and accents ignored
// ("cafe" finds "Café", "É" finds "e"). The titles are the source's filterRole() (the display
// role unless set) of column 0; their folded forms are kept per source row and refreshed when
// the source resets, moves, inserts or removes rows or changes data, so a keystroke only
// compares prepared strings. Rows keep the source's order.
class MovieFilterModel : public QSortFilterProxyModel {
    Q_OBJECT
public:
    explicit MovieFilterModel(QObject* parent = nullptr);

    void setSourceModel(QAbstractItemModel* model) override;

    // Narrows the rows to titles containing `text` (folded); an empty or blank text shows all.
    void setFilterText(const QString& text);
    QString filterText() const { return text_; }

    // `text` in the form titles are compared in: compatibility decomposition, combining marks
    // dropped, case folded.
    static QString fold(const QString& text);

protected:
    bool filterAcceptsRow(int sourceRow, const QModelIndex& sourceParent) const override;

private:
    void refold(const QAbstractItemModel* model);
    void refoldRows(int first, int last);

    QString text_;
    QString needle_;      // text_ folded
    QStringList folded_;  // per source row
    QList<QMetaObject::Connection> connections_;
};
