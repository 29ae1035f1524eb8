#include "models/SubtitlesViewModel.h"

#include "subtitles/SubtitleSRT.h"

#include <algorithm>

namespace {

void sortByStart(QList<SubtitleItem>& items) {
    std::stable_sort(items.begin(), items.end(),
                     [](const SubtitleItem& a, const SubtitleItem& b) { return a.stime < b.stime; });
}

}  // namespace

SubtitlesViewModel& SubtitlesViewModel::shared() {
    // Lives as long as the process; never destroyed, so no teardown order with the
    // application object or the views to worry about.
    static auto* instance = new SubtitlesViewModel;
    return *instance;
}

void SubtitlesViewModel::load(const QUrl& url, double duration) {
    auto items = SubtitleSRT::shared().readAll(url);
    if (!items) {
        setItems({});
        return;
    }
    for (SubtitleItem& item : *items) {
        item.color = SubtitleSRT::shared().annotationColor(item.text).value_or(item.color);
        item.duration = duration;
    }
    sortByStart(*items);
    setItems(std::move(*items));
}

void SubtitlesViewModel::setMovieDuration(double duration) {
    if (items_.isEmpty())
        return;
    for (SubtitleItem& item : items_)
        item.duration = duration;
    Q_EMIT dataChanged(index(0), index(int(items_.size()) - 1), {ItemRole});
    Q_EMIT itemsChanged();
}

void SubtitlesViewModel::addItem(const SubtitleItem& item) {
    const auto row = static_cast<int>(items_.size());
    beginInsertRows({}, row, row);
    items_.append(item);
    endInsertRows();
    Q_EMIT itemsChanged();

    QList<SubtitleItem> sorted = items_;
    sortByStart(sorted);
    setItems(std::move(sorted));
}

void SubtitlesViewModel::removeItem(int row) {
    if (row < 0 || row >= items_.size())
        return;
    beginRemoveRows({}, row, row);
    items_.removeAt(row);
    endRemoveRows();
    Q_EMIT itemsChanged();
}

void SubtitlesViewModel::setItems(QList<SubtitleItem> items) {
    beginResetModel();
    items_ = std::move(items);
    endResetModel();
    Q_EMIT itemsChanged();
}

int SubtitlesViewModel::rowCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : static_cast<int>(items_.size());
}

QVariant SubtitlesViewModel::data(const QModelIndex& index, int role) const {
    if (!index.isValid() || index.row() < 0 || index.row() >= items_.size())
        return {};
    const SubtitleItem& item = items_[index.row()];
    switch (role) {
    case TextRole:
        return item.text;
    case ColorRole:
        return static_cast<int>(item.color);
    case StartRole:
        return item.stime;
    case EndRole:
        return item.etime;
    case ItemRole:
        return QVariant::fromValue(item);
    default:
        return {};
    }
}

QHash<int, QByteArray> SubtitlesViewModel::roleNames() const {
    return {
        {TextRole, "text"}, {ColorRole, "color"}, {StartRole, "stime"}, {EndRole, "etime"}, {ItemRole, "item"},
    };
}
