#pragma once

#include "core/Records.h"

#include <QAbstractListModel>
#include <QList>
#include <QUrl>
#include <optional>

// The subtitle items of the open movie, in stable `stime` order. Every change is announced
// through the list-model signals before the views read the new rows (a load as a model reset,
// an added item as an inserted row, a removal as a removed row), and
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
    // Ends a load started with startLoading: its cues are no longer taken.
    void load(const QUrl& url, double duration);
    // The items `load` puts in the list for the SRT file at `url`, in their order. Reads the
    // file; safe on any thread.
    static QList<SubtitleItem> readItems(const QUrl& url, double duration);

    // The list of a movie whose SRT file is read elsewhere (on a worker): empties the list,
    // which is loading until the items of the returned load come in through takeLoaded. A
    // later load (of either kind) ends this one.
    quint64 startLoading(double duration);
    // The items of `load` (from readItems), put in the list while that load is the one under
    // way, beside any item added meanwhile; false, and nothing changes, when another load has
    // begun since.
    bool takeLoaded(quint64 load, QList<SubtitleItem> items);
    // A load started with startLoading has not finished yet.
    bool isLoading() const { return loading_; }
    // Gives every item the movie's new length (the movie grew or was replaced on disk).
    void setMovieDuration(double duration);
    // Inserts the item in start order, after the items of the same start (observers told as
    // one inserted row); returns its row.
    int addItem(const SubtitleItem& item);
    // The row of the item with `item`'s id and start; none when it is not in the list.
    std::optional<int> rowOf(const SubtitleItem& item) const;
    // Removes one row; the order of the rest stays.
    void removeItem(int row);

    int rowCount(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role) const override;
    // Rows are editable in place, but never through setData: an edit is the open movie's
    // undoable change, which replaces the item.
    Qt::ItemFlags flags(const QModelIndex& index) const override;
    QHash<int, QByteArray> roleNames() const override;

Q_SIGNALS:
    // Emitted after every change of `items`, once the new rows are in place.
    void itemsChanged();
    // A load started with startLoading began (true), or it ended (false): its items are in
    // place, or another load replaced it.
    void loadingChanged(bool loading);

private:
    void setItems(QList<SubtitleItem> items);
    void setLoading(bool loading);

    QList<SubtitleItem> items_;
    double duration_ = 0;  // the open movie's length, which every item carries
    quint64 lastLoad_ = 0;
    bool loading_ = false;
};
