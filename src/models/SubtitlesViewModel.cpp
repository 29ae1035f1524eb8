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

QList<SubtitleItem> SubtitlesViewModel::readItems(const QUrl& url, double duration) {
    auto items = SubtitleSRT::shared().readAll(url);
    if (!items)
        return {};
    for (SubtitleItem& item : *items) {
        item.color = SubtitleSRT::shared().annotationColor(item.text).value_or(item.color);
        item.duration = duration;
    }
    sortByStart(*items);
    return std::move(*items);
}

void SubtitlesViewModel::load(const QUrl& url, double duration) {
    ++lastLoad_;
    duration_ = duration;
    setItems(readItems(url, duration));
    setLoading(false);
}

quint64 SubtitlesViewModel::startLoading(double duration) {
    duration_ = duration;
    setItems({});
    setLoading(true);
    return ++lastLoad_;
}

bool SubtitlesViewModel::takeLoaded(quint64 load, QList<SubtitleItem> items) {
    if (load != lastLoad_ || !loading_)
        return false;
    // The movie's length may have changed on disk while the file was read. Checked first: the
    // list may still be shared with the worker, and changing it copies it.
    if (!items.isEmpty() && items.constFirst().duration != duration_)
        for (SubtitleItem& item : items)
            item.duration = duration_;
    // Items added while the file was read stay, in their place by start time.
    if (!items_.isEmpty()) {
        items.append(items_);
        sortByStart(items);
    }
    setItems(std::move(items));
    setLoading(false);
    return true;
}

void SubtitlesViewModel::setLoading(bool loading) {
    if (loading_ == loading)
        return;
    loading_ = loading;
    Q_EMIT loadingChanged(loading);
}

void SubtitlesViewModel::setMovieDuration(double duration) {
    duration_ = duration;
    if (items_.isEmpty())
        return;
    for (SubtitleItem& item : items_)
        item.duration = duration;
    Q_EMIT dataChanged(index(0), index(int(items_.size()) - 1), {ItemRole});
    Q_EMIT itemsChanged();
}

int SubtitlesViewModel::addItem(const SubtitleItem& item) {
    // After the items of the same start, as a stable sort of the appended item would put it.
    const auto place = std::upper_bound(items_.cbegin(), items_.cend(), item.stime,
                                        [](double start, const SubtitleItem& other) { return start < other.stime; });
    const auto row = static_cast<int>(place - items_.cbegin());
    beginInsertRows({}, row, row);
    items_.insert(row, item);
    endInsertRows();
    Q_EMIT itemsChanged();
    return row;
}

std::optional<int> SubtitlesViewModel::rowOf(const SubtitleItem& item) const {
    auto it = std::lower_bound(items_.cbegin(), items_.cend(), item.stime,
                               [](const SubtitleItem& other, double start) { return other.stime < start; });
    for (; it != items_.cend() && it->stime == item.stime; ++it)
        if (it->id == item.id)
            return static_cast<int>(it - items_.cbegin());
    return std::nullopt;
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

Qt::ItemFlags SubtitlesViewModel::flags(const QModelIndex& index) const {
    return QAbstractListModel::flags(index) | (index.isValid() ? Qt::ItemIsEditable : Qt::NoItemFlags);
}

QHash<int, QByteArray> SubtitlesViewModel::roleNames() const {
    return {
        {TextRole, "text"}, {ColorRole, "color"}, {StartRole, "stime"}, {EndRole, "etime"}, {ItemRole, "item"},
    };
}
