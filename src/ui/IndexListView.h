#pragma once

#include <QListView>
#include <optional>

// A single-selection list whose selection is a row index, the way the panes key their rows:
// the same index stays selected when the model inserts, removes or resets rows. Only a
// change the user makes (a click, the keyboard) is reported through `picked`, for the owner
// to take up with setSelectedIndex; changes that come from the model are not.
class IndexListView : public QListView {
    Q_OBJECT
public:
    explicit IndexListView(QWidget* parent = nullptr);

    void setModel(QAbstractItemModel* model) override;

    std::optional<int> selectedIndex() const { return selectedIndex_; }
    // Selects `index` (none clears) without reporting it.
    void setSelectedIndex(std::optional<int> index);
    // The row at viewport position `pos` when it is the selected one (only the selected row
    // has a context menu); none otherwise.
    std::optional<int> selectedRowAt(const QPoint& pos) const;
    // With `onReturn`, the arrow keys only move the highlight and Return (or Enter) picks the
    // highlighted row, as a library does where a pick opens a movie; otherwise a key that
    // moves the highlight picks at once.
    enum class KeysPick { atOnce, onReturn };
    void setKeysPick(KeysPick keys) { keysPick_ = keys; }

Q_SIGNALS:
    void picked(int row);

protected:
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    bool event(QEvent* event) override;
    void currentChanged(const QModelIndex& current, const QModelIndex& previous) override;

private:
    void showSelection();

    std::optional<int> selectedIndex_;
    bool userInput_ = false;
    KeysPick keysPick_ = KeysPick::atOnce;
};
