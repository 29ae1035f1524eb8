#pragma once

#include <QUrl>
#include <QWidget>
#include <functional>
#include <optional>

class QAction;
class QLabel;
class QLineEdit;
class IndexListView;
class MovieFilterModel;
class OpenMovie;
class PaneSlider;
class QStackedWidget;
class QTabWidget;
class QTimer;
struct VideoItem;

// The left pane: the movie library as a list, refreshed on show and every 2 seconds, under a
// filter field that narrows the list to the titles holding its text. A change of selection
// opens that movie; after each library change the selection is found again by title.
//
// The selection and every row this class takes or gives are rows of the library
// (MoviesViewModel::shared()); the list shows the filtered rows, and rows are mapped where
// they cross into it. The selected movie stays selected while the filter hides it: only its
// highlight goes, and it comes back when the movie is shown again. Filtering never opens a
// movie.
class SidebarView : public QWidget {
    Q_OBJECT
public:
    static constexpr int tabWidth = 250;

    explicit SidebarView(OpenMovie& movie, QWidget* parent = nullptr);

    // The "sidebar.left" button of the window's toolbar, which shows and hides the tabs.
    QAction* toolbarAction() const { return toggleAction_; }

    // Whether the tabs are shown ("show"); hidden, the sidebar takes no width.
    bool showTabs() const;
    void setShowTabs(bool show);
    // The library row of the selected movie, shown or not.
    std::optional<int> selectedIndex() const { return selected_; }
    std::optional<QString> selectedText() const { return selectedText_; }
    IndexListView* list() const { return list_; }
    QTabWidget* tabs() const { return tabs_; }
    QLineEdit* filterField() const { return filterField_; }

    // Shows the tabs and the library and puts the cursor in the filter field, its text selected.
    void focusFilter();
    // The library row of the movie next to the selected one among the shown rows, after it
    // (+1) or before it (-1); from a selected movie the filter hides, the nearest shown one
    // on that side. None without a selection or at the end.
    std::optional<int> adjacentRow(int direction) const;

    // Selects a row as a click does: opens its movie when the index changes, after asking
    // about unsaved marks of the open one.
    void selectRow(std::optional<int> index);
    void openVideoItem(const VideoItem& item);
    // Opens a movie file handed over from outside (command line, another launch). False when
    // it is no regular file or the user chose to stay on the open movie; `asked` when the
    // caller has asked about unsaved marks already.
    enum class Leave { ask, asked };
    bool openExternalFile(const QUrl& url, Leave leave = Leave::ask);
    // Asked before the open movie is left for another; false keeps it open.
    void setLeaveCheck(std::function<bool()> check);
    void revealInFileManager(int index);
    void onDeleteFile(int index);
    // Runs the search that follows each library change.
    void findSelectionAgain();

Q_SIGNALS:
    // The filter changed which movies the list shows.
    void filterChanged();

protected:
    void showEvent(QShowEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void setSelectedIndex(std::optional<int> index, bool openOnChange);
    void showContextMenu(const QPoint& pos);
    void updateEmptyHint();
    bool mayLeaveOpenMovie() const;
    bool isOpen(const QString& path) const;
    std::optional<int> rowOf(const QString& path) const;
    // Library row <-> row of the list; none for a row the filter hides or out of range.
    std::optional<int> libraryRow(int shownRow) const;
    std::optional<int> shownRow(std::optional<int> libraryRow) const;
    // Puts the list's highlight on the selected movie where the list shows it.
    void showSelection();
    void buildFilterField();

    QAction* toggleAction_ = nullptr;
    QTabWidget* tabs_ = nullptr;
    QStackedWidget* localPage_ = nullptr;
    IndexListView* list_ = nullptr;
    MovieFilterModel* filter_ = nullptr;
    QLineEdit* filterField_ = nullptr;
    QLabel* emptyHint_ = nullptr;
    QLabel* noMatchHint_ = nullptr;
    QTimer* refreshTimer_ = nullptr;
    PaneSlider* slider_ = nullptr;

    std::optional<int> selected_;  // library row
    std::optional<QString> selectedText_;
    OpenMovie& movie_;
    std::function<bool()> leaveCheck_;
};
