#include "models/FolderWatch.h"

#include <QFile>

#include <sys/inotify.h>
#include <sys/statfs.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstring>
#include <utility>

namespace {

std::atomic<bool> failingForTesting{false};

// File systems whose content may change without the kernel here taking part.
bool isRemoteOrFuse(long type) {
    switch (static_cast<unsigned long>(type)) {
    case 0x6969:      // NFS
    case 0x517B:      // SMB
    case 0xFF534D42:  // CIFS
    case 0xFE534D42:  // SMB2
    case 0x65735546:  // FUSE (sshfs, rclone, NAS clients, ...)
    case 0x00C36400:  // Ceph
    case 0x01021997:  // 9P
    case 0x564C:      // NCP
    case 0x47504653:  // GPFS
    case 0x0BD00BD0:  // Lustre
        return true;
    default:
        return false;
    }
}

}  // namespace

FolderWatch::~FolderWatch() { close(); }

void FolderWatch::setFailingForTesting(bool failing) { failingForTesting = failing; }

void FolderWatch::close() {
    if (fd_ >= 0)
        ::close(fd_);
    fd_ = -1;
}

bool FolderWatch::watch(const QString& folder, QString* reason) {
    close();
    folder_ = folder;
    const auto fail = [reason](const QString& why) {
        if (reason)
            *reason = why;
        return false;
    };
    if (failingForTesting)
        return fail(QStringLiteral("watching is turned off for a test"));
    const QByteArray name = QFile::encodeName(folder);
    struct statfs fs {};
    if (statfs(name.constData(), &fs) != 0)
        return fail(QString::fromLocal8Bit(std::strerror(errno)));
    if (isRemoteOrFuse(fs.f_type))
        return fail(QStringLiteral("a network or FUSE folder, whose changes the kernel does not see"));
    fd_ = inotify_init1(IN_NONBLOCK | IN_CLOEXEC);
    if (fd_ < 0)
        return fail(QString::fromLocal8Bit(std::strerror(errno)));
    constexpr uint32_t events = IN_CREATE | IN_DELETE | IN_MOVED_FROM | IN_MOVED_TO | IN_MODIFY | IN_ATTRIB |
                                IN_CLOSE_WRITE | IN_DELETE_SELF | IN_MOVE_SELF | IN_ONLYDIR;
    if (inotify_add_watch(fd_, name.constData(), events) < 0) {
        const int error = errno;
        close();
        return fail(error == ENOSPC ? QStringLiteral("the limit of watches is reached")
                                    : QString::fromLocal8Bit(std::strerror(error)));
    }
    return true;
}

std::optional<QSet<QString>> FolderWatch::takeChanges() {
    if (fd_ < 0)
        return std::nullopt;
    QSet<QString> names;
    alignas(inotify_event) char buffer[16 * 1024];
    for (;;) {
        const ssize_t length = ::read(fd_, buffer, sizeof buffer);
        if (length < 0) {
            if (errno == EINTR)
                continue;
            if (errno == EAGAIN)
                return names;
            close();
            return std::nullopt;
        }
        for (ssize_t at = 0; at < length;) {
            const auto* event = reinterpret_cast<const inotify_event*>(buffer + at);
            at += ssize_t(sizeof(inotify_event) + event->len);
            if (event->mask & (IN_Q_OVERFLOW | IN_IGNORED | IN_DELETE_SELF | IN_MOVE_SELF | IN_UNMOUNT)) {
                close();
                return std::nullopt;
            }
            if (event->len == 0)
                continue;
            // A name not in the file-name encoding is left out of the listing too.
            const char* raw = event->name;
            QString name = QFile::decodeName(raw);
            if (QFile::encodeName(name) == QByteArrayView(raw, qstrlen(raw)))
                names.insert(std::move(name));
        }
    }
}
