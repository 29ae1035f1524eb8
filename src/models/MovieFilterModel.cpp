#include "models/MovieFilterModel.h"

#include <algorithm>

MovieFilterModel::MovieFilterModel(QObject* parent) : QSortFilterProxyModel(parent) {}

QString MovieFilterModel::fold(const QString& text) {
    const QString decomposed = text.normalized(QString::NormalizationForm_KD);
    QString bare;
    bare.reserve(decomposed.size());
    for (const QChar c : decomposed) {
        const QChar::Category category = c.category();
        if (category != QChar::Mark_NonSpacing && category != QChar::Mark_SpacingCombining &&
            category != QChar::Mark_Enclosing)
            bare.append(c);
    }
    QString folded = std::move(bare).toCaseFolded();
    // Most titles fold to themselves: the row's text is then shared rather than held twice.
    return folded == text ? text : folded;
}

void MovieFilterModel::setSourceModel(QAbstractItemModel* model) {
    for (const QMetaObject::Connection& connection : std::as_const(connections_))
        disconnect(connection);
    connections_.clear();
    // Connected before the proxy's own handlers, which run filterAcceptsRow on the changed
    // rows: the folded titles must be current by then.
    if (model) {
        const auto refoldAll = [this, model] { refold(model); };
        connections_ = {
            connect(model, &QAbstractItemModel::modelReset, this, refoldAll),
            connect(model, &QAbstractItemModel::layoutChanged, this, refoldAll),
            connect(model, &QAbstractItemModel::rowsMoved, this, refoldAll),
            connect(model, &QAbstractItemModel::rowsInserted, this,
                    [this](const QModelIndex& parent, int first, int last) {
                        if (parent.isValid())
                            return;
                        folded_.insert(first, last - first + 1, QString());
                        refoldRows(first, last);
                    }),
            connect(model, &QAbstractItemModel::rowsRemoved, this,
                    [this](const QModelIndex& parent, int first, int last) {
                        if (!parent.isValid())
                            folded_.remove(first, last - first + 1);
                    }),
            connect(model, &QAbstractItemModel::dataChanged, this,
                    [this](const QModelIndex& topLeft, const QModelIndex& bottomRight) {
                        const int column = filterKeyColumn();
                        if (!topLeft.parent().isValid() && topLeft.column() <= column && column <= bottomRight.column())
                            refoldRows(topLeft.row(), bottomRight.row());
                    }),
        };
    }
    // The proxy's own reset lets views read the rows at once: fold first.
    refold(model);
    QSortFilterProxyModel::setSourceModel(model);
}

void MovieFilterModel::refold(const QAbstractItemModel* model) {
    folded_.clear();
    if (!model)
        return;
    const int rows = model->rowCount();
    folded_.reserve(rows);
    for (int row = 0; row < rows; ++row)
        folded_.append(fold(model->index(row, filterKeyColumn()).data(filterRole()).toString()));
}

void MovieFilterModel::refoldRows(int first, int last) {
    const QAbstractItemModel* model = sourceModel();
    for (int row = std::max(first, 0); row <= last && row < folded_.size(); ++row)
        folded_[row] = fold(model->index(row, filterKeyColumn()).data(filterRole()).toString());
}

void MovieFilterModel::setFilterText(const QString& text) {
    const QString needle = fold(text.trimmed());
    text_ = text;
    if (needle == needle_)
        return;
    needle_ = needle;
    // One layout change rather than a row signal per gap between matching titles (thousands
    // in a large library, each handled by the view); persistent indexes, and so the
    // selection, follow the rows that stay.
    invalidate();
}

bool MovieFilterModel::filterAcceptsRow(int sourceRow, const QModelIndex& sourceParent) const {
    if (needle_.isEmpty() || sourceParent.isValid())
        return true;
    if (sourceRow < 0 || sourceRow >= folded_.size())
        return true;  // a row the source announced in a way not followed here: shown, never hidden
    return folded_[sourceRow].contains(needle_);
}
