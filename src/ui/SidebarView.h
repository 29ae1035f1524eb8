#pragma once

#include <QUrl>
#include <QWidget>
#include <functional>
#include <optional>

class QAction;
class QLabel;
class IndexListView;
class PaneSlider;
class QStackedWidget;
class QTabWidget;
class QTimer;
struct VideoItem;

// The left pane: the movie library as a list, refreshed on show and every 2 seconds. A
// change of selection opens that movie; after each library change the selection is found
// again by title.
class SidebarView : public QWidget {
    Q_OBJECT
public:
    static constexpr int tabWidth = 250;

    explicit SidebarView(QWidget* parent = nullptr);

    // The "sidebar.left" button of the window's toolbar, which shows and hides the tabs.
    QAction* toolbarAction() const { return toggleAction_; }

    // Whether the tabs are shown ("show"); hidden, the sidebar takes no width.
    bool showTabs() const;
    void setShowTabs(bool show);
    std::optional<int> selectedIndex() const;
    std::optional<QString> selectedText() const { return selectedText_; }
    IndexListView* list() const { return list_; }
    QTabWidget* tabs() const { return tabs_; }

    // Selects a row as a click does: opens its movie when the index changes, after asking
    // about unsaved marks of the open one.
    void selectRow(std::optional<int> index);
    void openVideoItem(const VideoItem& item);
    // Opens a movie file handed over from outside (command line, another launch). False when
    // it is no regular file or the user chose to stay on the open movie.
    bool openExternalFile(const QUrl& url);
    // Asked before the open movie is left for another; false keeps it open.
    void setLeaveCheck(std::function<bool()> check);
    void revealInFileManager(int index);
    void onDeleteFile(int index);
    // Runs the search that follows each library change.
    void findSelectionAgain();

protected:
    void showEvent(QShowEvent* event) override;

private:
    void setSelectedIndex(std::optional<int> index, bool openOnChange);
    void showContextMenu(const QPoint& pos);
    void updateEmptyHint();
    bool mayLeaveOpenMovie() const;
    bool isOpen(const QUrl& url) const;
    std::optional<int> rowOf(const QUrl& url) const;

    QAction* toggleAction_ = nullptr;
    QTabWidget* tabs_ = nullptr;
    QStackedWidget* localPage_ = nullptr;
    IndexListView* list_ = nullptr;
    QLabel* emptyHint_ = nullptr;
    QTimer* refreshTimer_ = nullptr;
    PaneSlider* slider_ = nullptr;

    std::optional<QString> selectedText_;
    std::optional<QUrl> openedURL_;  // the movie opened last
    std::function<bool()> leaveCheck_;
};
