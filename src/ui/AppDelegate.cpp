#include "ui/AppDelegate.h"

#include "core/AppState.h"
#include "core/WorkQueues.h"
#include "models/MediaProbe.h"
#include "models/SidecarLoader.h"
#include "ui/MainWindow.h"
#include "update/VersionCheck.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

AppDelegate::AppDelegate(QObject* parent) : QObject(parent) {}

void AppDelegate::startUp(MainWindow* window) {
    config().load();
    window->versionChecker()->checkVersion();
}

void AppDelegate::cleanUp() {
    // A library refresh stuck on a slow file must not hold the quit.
    MediaProbe::interruptAll();
    // Queued work may still write the player's subtitle files: it is dropped, and what runs
    // ends (or is given up on) before they are removed.
    SidecarLoader::shared().dropLoads();
    if (!workQueues().finish(3000))
        qWarning("Background work still ran at quit; its cache files may stay");
    removeCachedSubtitles(userCachePath());
}

void AppDelegate::removeCachedSubtitles(const QString& folder) {
    const QDir dir(folder);
    if (!dir.exists())
        return;
    const QFileInfoList entries =
        dir.entryInfoList(QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot, QDir::Unsorted);
    for (const QFileInfo& entry : entries) {
        // The player's subtitle files: WebVTT, and Matroska for large sidecars.
        if (entry.suffix() != QLatin1String("vtt") && entry.suffix() != QLatin1String("mks"))
            continue;
        // A folder named so is removed like a file would be; a failure ends the clean-up.
        const bool removed = entry.isDir() && !entry.isSymLink() ? QDir(entry.filePath()).removeRecursively()
                                                                 : QFile::remove(entry.filePath());
        if (!removed)
            return;
    }
}
