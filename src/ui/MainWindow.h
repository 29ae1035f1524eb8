#pragma once

#include <QMainWindow>

class ContentView;
class DetailView;
class SidebarView;
class VersionChecker;

// The one window: library | video | marks, the toolbar with the library button on the left,
// the transport bar in the centre and the marks button on the right, and the Help menu.
class MainWindow : public QMainWindow {
    Q_OBJECT
public:
    explicit MainWindow(QWidget* parent = nullptr);

    SidebarView* sidebar() const { return sidebar_; }
    ContentView* content() const { return content_; }
    DetailView* detail() const { return detail_; }
    // Checks for a newer version and requests the version page each time the window is shown.
    VersionChecker* versionChecker() const { return versionChecker_; }

    // Opens the first regular file of `paths`, handed over from outside.
    void openFiles(const QStringList& paths);
    // Asks about unsaved marks before the open movie is left; false to stay.
    bool confirmLeavingMovie();
    // Saves unsaved marks without asking or showing anything (the session ends).
    void saveMarksQuietly();

protected:
    void showEvent(QShowEvent* event) override;
    void closeEvent(QCloseEvent* event) override;

private:
    void followOpenMovieLength();
    void buildToolbar();
    void buildMenu();
    void buildShortcuts();

    SidebarView* sidebar_ = nullptr;
    ContentView* content_ = nullptr;
    DetailView* detail_ = nullptr;
    VersionChecker* versionChecker_ = nullptr;
};
