#pragma once

#include <QMainWindow>
#include <QStringList>
#include <optional>

class ContentView;
class OpenMovie;
class DetailView;
class SidebarView;
class VersionChecker;
class QAction;
class QTimer;
class MprisService;
class ScreenSaverInhibitor;
class QToolBar;

// The one window: library | video | marks, the toolbar with the library button on the left,
// the transport bar in the centre and the marks button on the right, and the Help menu.
class MainWindow : public QMainWindow {
    Q_OBJECT
public:
    explicit MainWindow(QWidget* parent = nullptr);

    OpenMovie* openMovie() const { return movie_; }
    SidebarView* sidebar() const { return sidebar_; }
    ContentView* content() const { return content_; }
    DetailView* detail() const { return detail_; }
    // Checks for a newer version and requests the version page each time the window is shown.
    VersionChecker* versionChecker() const { return versionChecker_; }

    // Sizes the window to open at 1280 x 760, or smaller to fit the screen's available area,
    // and centres it there.
    void placeOnScreen();
    // Opens the first regular file of `paths`, handed over from outside.
    void openFiles(const QStringList& paths);
    // Asks about unsaved marks before the open movie is left; false to stay.
    bool confirmLeavingMovie();
    // Saves unsaved marks and the position without asking or showing anything (the session
    // ends, or a signal ends the program).
    void saveMarksQuietly();

    // Only the video, on black, over the whole screen; leaving restores the panes as they were.
    void setFullScreenVideo(bool on);
    bool isFullScreenVideo() const { return fullScreen_.has_value(); }
    QAction* fullScreenAction() const { return fullScreenAction_; }
    void showKeyboardShortcuts();

protected:
    void showEvent(QShowEvent* event) override;
    void closeEvent(QCloseEvent* event) override;
    void dragEnterEvent(QDragEnterEvent* event) override;
    void dropEvent(QDropEvent* event) override;

private:
    static bool isMovieFile(const QUrl& url);
    void connectDesktop();
    void updateNavigation();
    void showFullScreenControls();
    // The next (+1) or previous (-1) movie of the library, picked as a click picks it.
    void pickAdjacentMovie(int direction);
    void buildToolbar();
    void buildMenu();
    void buildShortcuts();
    // The annotator's menu and keys: undo and redo, editing and moving marks, a key per kind,
    // frame steps and speed.
    void buildEditMenu();
    void buildAnnotatorShortcuts();
    // The speed after `speed` in the steps between Player::minSpeed and maxSpeed, faster (+1)
    // or slower (-1).
    static double nextSpeed(double speed, int direction);
    static constexpr double nudgeSeconds = 0.1;

    OpenMovie* movie_ = nullptr;
    SidebarView* sidebar_ = nullptr;
    ContentView* content_ = nullptr;
    DetailView* detail_ = nullptr;
    VersionChecker* versionChecker_ = nullptr;
    QToolBar* toolbar_ = nullptr;
    MprisService* mpris_ = nullptr;
    ScreenSaverInhibitor* inhibitor_ = nullptr;
    QAction* fullScreenAction_ = nullptr;
    QTimer* pointerTimer_ = nullptr;
    // What full screen hid, to be shown again when it ends.
    struct Panes {
        bool tabs = false;
        bool panel = false;
        Qt::WindowStates state;
    };
    std::optional<Panes> fullScreen_;
    bool openingFiles_ = false;
    QStringList latestFiles_;  // the files of the latest request to open
};
