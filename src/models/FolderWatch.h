#pragma once

#include <QSet>
#include <QString>
#include <optional>

// The kernel's word (inotify) on what changed directly inside one folder: names created,
// deleted, moved in or out, written or with new attributes. No thread and no QObject: the owner
// asks for the changes when it wants them. Not available on network and FUSE folders, whose
// changes made elsewhere the kernel never sees, nor past the watch limit; an overflow of the
// kernel's queue, or the folder itself moved or deleted, makes the changes unknown until the
// owner watches again.
class FolderWatch {
public:
    FolderWatch() = default;
    FolderWatch(const FolderWatch&) = delete;
    FolderWatch& operator=(const FolderWatch&) = delete;
    ~FolderWatch();

    // Watches `folder` from now on, in place of any earlier one; false with the reason when it
    // cannot.
    bool watch(const QString& folder, QString* reason);
    bool isWatching() const { return fd_ >= 0; }
    const QString& folder() const { return folder_; }

    // The names that changed since the last call (empty: none); absent when the watch cannot
    // tell, after which it no longer watches.
    std::optional<QSet<QString>> takeChanges();

    // For tests: every watch fails as at the watch limit.
    static void setFailingForTesting(bool failing);

private:
    void close();

    int fd_ = -1;
    QString folder_;
};
