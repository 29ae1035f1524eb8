#include "subtitles/AtomicWrite.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRandomGenerator>

#include <algorithm>
#include <cerrno>
#include <cstring>

namespace {

constexpr qsizetype nameMax = 255;
constexpr qsizetype suffixLength = 7;  // "~" and six random letters

bool fail(QString* error, const QString& reason) {
    if (error)
        *error = reason;
    return false;
}

QString systemReason() { return QString::fromLocal8Bit(std::strerror(errno)); }

// Creates a new file of a free name beside `path`; never opens an existing file or a link.
int createTemporary(const QByteArray& folder, const QByteArray& fileName, QByteArray& tempPath) {
    static constexpr char letters[] = "abcdefghijklmnopqrstuvwxyz0123456789";
    const QByteArray prefix = folder + '/' + temporaryNamePrefix(fileName) + '~';
    for (int attempt = 0; attempt < 100; ++attempt) {
        tempPath = prefix;
        for (int i = 1; i < suffixLength; ++i)
            tempPath += letters[QRandomGenerator::global()->bounded(int(sizeof letters - 1))];
        const int fd = ::open(tempPath.constData(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0666);
        if (fd >= 0 || errno != EEXIST)
            return fd;
    }
    errno = EEXIST;
    return -1;
}

bool writeAll(int fd, const QByteArray& bytes) {
    const char* at = bytes.constData();
    qsizetype left = bytes.size();
    while (left > 0) {
        const ssize_t written = ::write(fd, at, size_t(left));
        if (written < 0 && errno == EINTR)
            continue;
        if (written <= 0) {
            if (written == 0)
                errno = EIO;
            return false;
        }
        at += written;
        left -= written;
    }
    return true;
}

// The first `room` bytes of `name` at most, never cut inside a UTF-8 sequence (which would
// leave a name that is not valid text).
QByteArray cutToFit(const QByteArray& name, qsizetype room) {
    if (name.size() <= room)
        return name;
    qsizetype end = std::max<qsizetype>(room, 0);
    while (end > 0 && (uchar(name[end]) & 0xC0) == 0x80)
        --end;
    return name.left(end);
}

}  // namespace

QString withFittingSuffix(const QString& path, const QString& suffix) {
    const QFileInfo info(path);
    const QByteArray ending = QFile::encodeName(suffix);
    const QByteArray name = cutToFit(QFile::encodeName(info.fileName()), nameMax - ending.size()) + ending;
    return info.dir().filePath(QFile::decodeName(name));
}

QByteArray temporaryNamePrefix(const QByteArray& fileName) {
    return '.' + cutToFit(fileName, nameMax - 1 - suffixLength);
}

bool writeAtomically(const QString& path, const QByteArray& bytes, QString* error) {
    if (path.isEmpty())
        return fail(error, QStringLiteral("no file name"));
    const QFileInfo info(path);
    const QByteArray target = QFile::encodeName(info.absoluteFilePath());
    const QByteArray folder = QFile::encodeName(info.absolutePath());
    QByteArray tempPath;
    const int fd = createTemporary(folder, QFile::encodeName(info.fileName()), tempPath);
    if (fd < 0)
        return fail(error, systemReason());
    const auto abandon = [&](int savedErrno) {
        ::close(fd);
        ::unlink(tempPath.constData());
        errno = savedErrno;
        return fail(error, systemReason());
    };
    // The new file keeps the access rights of the one it replaces.
    struct stat old {};
    if (::lstat(target.constData(), &old) == 0 && S_ISREG(old.st_mode) && ::fchmod(fd, old.st_mode & 07777) != 0)
        return abandon(errno);
    if (!writeAll(fd, bytes) || ::fsync(fd) != 0)
        return abandon(errno);
    if (::close(fd) != 0) {
        const int savedErrno = errno;
        ::unlink(tempPath.constData());
        errno = savedErrno;
        return fail(error, systemReason());
    }
    if (::rename(tempPath.constData(), target.constData()) != 0) {
        const int savedErrno = errno;
        ::unlink(tempPath.constData());
        errno = savedErrno;
        return fail(error, systemReason());
    }
    // The rename itself lasts once the folder is synced too.
    const int folderFd = ::open(folder.constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (folderFd >= 0) {
        ::fsync(folderFd);
        ::close(folderFd);
    }
    return true;
}

bool writePrivately(const QString& path, const QByteArray& bytes, QString* error) {
    const QByteArray folder = QFile::encodeName(QFileInfo(path).absolutePath());
    if (::mkdir(folder.constData(), 0700) != 0 && errno != EEXIST)
        return fail(error, systemReason());
    struct stat info {};
    if (::lstat(folder.constData(), &info) != 0)
        return fail(error, systemReason());
    if (!S_ISDIR(info.st_mode) || info.st_uid != ::geteuid())
        return fail(error,
                    QStringLiteral("the folder %1 is not this user's own folder").arg(QFile::decodeName(folder)));
    if ((info.st_mode & 077) != 0 && ::chmod(folder.constData(), 0700) != 0)
        return fail(error, systemReason());
    return writeAtomically(path, bytes, error);
}
