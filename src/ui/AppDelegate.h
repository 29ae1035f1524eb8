#pragma once

#include <QObject>
#include <QPointer>
#include <QString>
#include <QWidget>

class MainWindow;

// The program's launch and quit steps.
class AppDelegate : public QObject {
    Q_OBJECT
public:
    explicit AppDelegate(QObject* parent = nullptr);

    // Loads the configuration and starts the window's version check.
    void startUp(MainWindow* window);
    // Interrupts a library probe under way and removes the player's subtitle files from the
    // program's cache folder.
    void cleanUp();

    // Removes every entry of `folder` whose extension is exactly "vtt" or "mks", in listing
    // order, stopping at the first removal that fails. Other files stay.
    static void removeCachedSubtitles(const QString& folder);
};
