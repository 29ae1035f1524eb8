#pragma once

#include <QObject>
#include <QPointer>
#include <QString>
#include <QWidget>

class VersionChecker;

// The program's launch and quit steps.
class AppDelegate : public QObject {
    Q_OBJECT
public:
    explicit AppDelegate(QObject* parent = nullptr);

    // Keeps the window, loads the configuration, starts the version check.
    void applicationDidFinishLaunching(QWidget* window);
    // Removes the converted WebVTT files from the program's cache folder.
    void applicationWillTerminate();

    // Removes every entry of `folder` whose extension is exactly "vtt", in listing order,
    // stopping at the first removal that fails. Other files stay.
    static void removeCachedSubtitles(const QString& folder);

    QWidget* window() const { return window_; }
    VersionChecker* versionChecker() const { return checker_; }

private:
    QPointer<QWidget> window_;
    VersionChecker* checker_ = nullptr;
};
