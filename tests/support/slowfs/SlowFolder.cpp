#include "SlowFolder.h"

#include <QDeadlineTimer>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QStringList>
#include <QThread>

#include <fcntl.h>
#include <signal.h>
#include <sys/mman.h>
#include <sys/prctl.h>
#include <unistd.h>

namespace {

const QString program = QStringLiteral(REELNOOK_SLOW_FOLDER_PROGRAM);

// mountinfo writes space, tab, newline and backslash in octal escapes.
QString unescapeMountPath(const QByteArray& field) {
    QByteArray path;
    for (qsizetype i = 0; i < field.size(); ++i) {
        if (field[i] == '\\' && i + 3 < field.size()) {
            path.append(char(field.mid(i + 1, 3).toInt(nullptr, 8)));
            i += 3;
        } else {
            path.append(field[i]);
        }
    }
    return QFile::decodeName(path);
}

// Runs `command` to its end; true when it exits with 0.
bool run(const QString& command, const QStringList& arguments) {
    QProcess process;
    process.setProcessChannelMode(QProcess::MergedChannels);
    process.start(command, arguments);
    return process.waitForFinished(10000) && process.exitStatus() == QProcess::NormalExit && process.exitCode() == 0;
}

}  // namespace

std::uint64_t SlowFolder::Counts::total() const {
    std::uint64_t sum = 0;
    for (const std::uint64_t count : byKind)
        sum += count;
    return sum;
}

SlowFolder::Counts SlowFolder::Counts::operator-(const Counts& earlier) const {
    Counts difference;
    for (unsigned kind = 0; kind < SlowFolderCounts::kindCount; ++kind)
        difference.byKind[kind] = byKind[kind] - earlier.byKind[kind];
    return difference;
}

QString SlowFolder::Counts::toString() const {
    QStringList parts;
    for (unsigned kind = 0; kind < SlowFolderCounts::kindCount; ++kind)
        if (byKind[kind] != 0)
            parts.append(QStringLiteral("%1 %2").arg(QLatin1String(SlowFolderCounts::names[kind])).arg(byKind[kind]));
    return parts.join(QStringLiteral(", "));
}

QString SlowFolder::unavailableReason() {
    if (program.isEmpty())
        return QStringLiteral("built without libfuse3 (pkg-config fuse3), so there is no slow-folder program");
    if (!QFileInfo::exists(QStringLiteral("/dev/fuse")))
        return QStringLiteral("/dev/fuse is missing: this machine (or container) cannot mount FUSE folders");
    // Without it, libfuse fails before it would ask fusermount3.
    if (access("/dev/fuse", R_OK | W_OK) != 0)
        return QStringLiteral("/dev/fuse is not open to this user, so FUSE folders cannot be mounted");
    return {};
}

bool SlowFolder::isMountPoint(const QString& path) {
    const QString wanted = QFileInfo(path).absoluteFilePath();
    QFile mounts(QStringLiteral("/proc/self/mountinfo"));
    if (!mounts.open(QIODevice::ReadOnly))
        return false;
    for (const QByteArray& line : mounts.readAll().split('\n')) {
        const QList<QByteArray> fields = line.split(' ');
        if (fields.size() > 4 && unescapeMountPath(fields[4]) == wanted)
            return true;
    }
    return false;
}

SlowFolder::SlowFolder(const QString& source, const QString& mountPoint, double delayMs)
    : mountPoint_(QFileInfo(mountPoint).absoluteFilePath()) {
    if (error_ = unavailableReason(); !error_.isEmpty())
        return;
    if (!QDir().mkpath(mountPoint_)) {
        error_ = QStringLiteral("cannot make the mount point %1").arg(mountPoint_);
        return;
    }
    mountPoint_ = QFileInfo(mountPoint_).canonicalFilePath();
    countsFile_ = mountPoint_ + QStringLiteral(".counts");
    QFile::remove(countsFile_);
    program_ = std::make_unique<QProcess>();
    program_->setProcessChannelMode(QProcess::SeparateChannels);
    // The mount ends with the process that made it, even when that one crashes.
    program_->setChildProcessModifier([] { prctl(PR_SET_PDEATHSIG, SIGTERM); });
    program_->start(program, {source, mountPoint_, QStringLiteral("-f"), QStringLiteral("--delay-ms=%1").arg(delayMs),
                              QStringLiteral("--counts=%1").arg(countsFile_)});
    if (!program_->waitForStarted(10000)) {
        error_ = QStringLiteral("cannot start %1: %2").arg(program, program_->errorString());
        return;
    }
    const QDeadlineTimer deadline(20000);
    while (!isMountPoint(mountPoint_)) {
        if (program_->waitForFinished(20) || deadline.hasExpired()) {
            program_->kill();
            program_->waitForFinished(5000);
            error_ = QStringLiteral("mounting %1 was refused: %2")
                         .arg(mountPoint_, QString::fromLocal8Bit(program_->readAllStandardError()).trimmed());
            return;
        }
    }
    const int fd = open(QFile::encodeName(countsFile_).constData(), O_RDONLY | O_CLOEXEC);
    if (fd >= 0) {
        void* mapped = mmap(nullptr, SlowFolderCounts::fileSize, PROT_READ, MAP_SHARED, fd, 0);
        close(fd);
        if (mapped != MAP_FAILED)
            counters_ = static_cast<const std::uint64_t*>(mapped);
    }
    mounted_ = true;
    if (!counters_)
        error_ = QStringLiteral("cannot read the counts in %1").arg(countsFile_);
}

SlowFolder::~SlowFolder() {
    unmount();
    if (counters_)
        munmap(const_cast<std::uint64_t*>(counters_), SlowFolderCounts::fileSize);
    if (!countsFile_.isEmpty())
        QFile::remove(countsFile_);
}

SlowFolder::Counts SlowFolder::counts() const {
    Counts counts;
    if (counters_)
        for (unsigned kind = 0; kind < SlowFolderCounts::kindCount; ++kind)
            counts.byKind[kind] = __atomic_load_n(&counters_[kind], __ATOMIC_RELAXED);
    return counts;
}

bool SlowFolder::unmount() {
    if (!program_)
        return true;
    // SIGTERM ends the program's loop, after which it unmounts itself; a program that does not
    // end is killed and its mount detached.
    if (program_->state() != QProcess::NotRunning) {
        program_->terminate();
        if (!program_->waitForFinished(15000)) {
            program_->kill();
            program_->waitForFinished(5000);
        }
    }
    program_.reset();
    mounted_ = false;
    if (isMountPoint(mountPoint_) &&
        !run(QStringLiteral("fusermount3"), {QStringLiteral("-u"), QStringLiteral("-z"), mountPoint_}))
        run(QStringLiteral("umount"), {QStringLiteral("-l"), mountPoint_});
    return !isMountPoint(mountPoint_);
}
