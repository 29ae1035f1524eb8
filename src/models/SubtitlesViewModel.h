#pragma once

#include "core/Records.h"

#include <QAbstractListModel>
#include <QList>
#include <QUrl>

// The subtitle items of the open movie, in stable `stime` order. Every change is announced
// through the list-model signals before the views read the new rows (a load and the re-sort
// after addItem as a model reset, an append as inserted rows, a removal as removed rows), and
// `itemsChanged` follows each change for observers that only redraw.
class SubtitlesViewModel : public QAbstractListModel {
    Q_OBJECT
public:
    enum Role {
        TextRole = Qt::DisplayRole,
        ColorRole = Qt::UserRole + 1,  // ItemColor as int
        StartRole,                     // stime, double seconds
        EndRole,                       // etime, double seconds
        ItemRole,                      // the whole SubtitleItem
    };

    static SubtitlesViewModel& shared();

    const QList<SubtitleItem>& items() const { return items_; }

    // Replaces the items with the cues of the SRT file at `url`, coloured by their annotation,
    // each carrying the movie's `duration`. A missing or cue-less file gives an empty list.
    void load(const QUrl& url, double duration);
    // Gives every item the movie's new length (the movie grew or was replaced on disk).
    void setMovieDuration(double duration);
    // Appends the item (observers told), then restores the order (observers told again).
    void addItem(const SubtitleItem& item);
    // Removes one row; the order of the rest stays.
    void removeItem(int row);

    int rowCount(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role) const override;
    QHash<int, QByteArray> roleNames() const override;

Q_SIGNALS:
    // Emitted after every change of `items`, once the new rows are in place.
    void itemsChanged();

private:
    void setItems(QList<SubtitleItem> items);

    QList<SubtitleItem> items_;
};
