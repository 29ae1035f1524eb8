#include "models/FileStamp.h"

#include <QElapsedTimer>
#include <QFile>
#include <QThreadPool>
#include <QtConcurrent/QtConcurrentMap>

#include <fcntl.h>
#include <sys/stat.h>
#include <time.h>

#include <algorithm>
#include <array>

namespace {

constexpr qint64 nsPerSecond = 1'000'000'000;
// File systems stamp times with a coarse clock (FAT: 2 s); a change within this margin of a
// read may share the timestamp of what was read.
constexpr qint64 racyMarginNs = 2 * nsPerSecond;

// Stats are timed in rounds. A round whose middle stat took longer than this comes from a folder
// that waits before every answer (a network share, a NAS, a disk that spun down); the middle one,
// since a thread put aside for a while (a busy machine) makes one or two of a round slow, not
// half of them.
constexpr qsizetype paceRound = 16;
constexpr qint64 slowStatNs = 100'000;

// Stats of slow folders get their own pool: its threads only wait for answers, so it can hold
// many more than there are cores, and a share answers that many at once.
QThreadPool& slowStatPool() {
    static QThreadPool* pool = [] {
        auto* p = new QThreadPool;  // kept to the end of the process, like the other shared services
        p->setMaxThreadCount(32);
        p->setExpiryTimeout(30000);
        return p;
    }();
    return *pool;
}

qint64 nanoseconds(const statx_timestamp& t) { return qint64(t.tv_sec) * nsPerSecond + t.tv_nsec; }

}  // namespace

std::optional<FileStamp> FileStamp::of(const QString& path) {
    if (path.isEmpty())
        return std::nullopt;
    struct statx sx {};
    const QByteArray name = QFile::encodeName(path);
    if (statx(AT_FDCWD, name.constData(), AT_STATX_SYNC_AS_STAT, STATX_BASIC_STATS | STATX_BTIME, &sx) != 0)
        return std::nullopt;
    FileStamp stamp;
    stamp.device = (quint64(sx.stx_dev_major) << 32) | sx.stx_dev_minor;
    stamp.inode = sx.stx_ino;
    stamp.size = qint64(sx.stx_size);
    stamp.modifiedNs = nanoseconds(sx.stx_mtime);
    stamp.changedNs = nanoseconds(sx.stx_ctime);
    if (sx.stx_mask & STATX_BTIME)
        stamp.bornMs = qint64(sx.stx_btime.tv_sec) * 1000 + sx.stx_btime.tv_nsec / 1'000'000;
    return stamp;
}

QList<std::optional<FileStamp>> FileStamp::ofAll(const QStringList& names, const QString& prefix, bool* slow) {
    QList<std::optional<FileStamp>> stamps(names.size());
    std::optional<FileStamp>* out = stamps.data();
    qsizetype next = 0;
    QElapsedTimer clock;
    clock.start();
    std::array<qint64, paceRound> took{};
    while (next < names.size()) {
        const qsizetype end = std::min(next + paceRound, names.size());
        for (qsizetype i = 0; next < end; ++next, ++i) {
            const qint64 start = clock.nsecsElapsed();
            out[next] = of(prefix + names.at(next));
            took[i] = clock.nsecsElapsed() - start;
        }
        if (next == names.size())
            break;
        std::nth_element(took.begin(), took.begin() + paceRound / 2, took.end());
        if (took[paceRound / 2] > slowStatNs)
            break;
    }
    if (slow)
        *slow = next < names.size();
    if (next == names.size())
        return stamps;
    // Slices of a few stats each: enough to keep every thread of the pool waiting on the share.
    QList<std::pair<qsizetype, qsizetype>> slices;
    for (qsizetype begin = next; begin < names.size(); begin += paceRound)
        slices.append({begin, std::min(begin + paceRound, names.size())});
    QtConcurrent::blockingMap(&slowStatPool(), slices, [&, out](const std::pair<qsizetype, qsizetype>& slice) {
        for (qsizetype i = slice.first; i < slice.second; ++i)
            out[i] = of(prefix + names.at(i));
    });
    return stamps;
}

std::optional<QDateTime> FileStamp::birthTime() const {
    if (!bornMs)
        return std::nullopt;
    return QDateTime::fromMSecsSinceEpoch(*bornMs);
}

QString FileStamp::creationText() const {
    const auto born = birthTime();
    return born ? born->toString(QStringLiteral("yyyy-MM-dd HH:mm:ss")) : undatedText();
}

const QString& FileStamp::undatedText() {
    static const QString text = QStringLiteral("0000-00-00 00:00:00");
    return text;
}

// A time beyond the margin ahead of `instant` (a camera's clock, an unpacked archive) is no
// recent change: any later write sets the time to now, which differs from it.
bool FileStamp::isRacyAt(qint64 instantNs) const {
    const auto near = [instantNs](qint64 t) { return t > instantNs - racyMarginNs && t < instantNs + racyMarginNs; };
    return near(modifiedNs) || near(changedNs);
}

qint64 fileClockNowNs() {
    timespec now{};
    clock_gettime(CLOCK_REALTIME, &now);
    return qint64(now.tv_sec) * nsPerSecond + now.tv_nsec;
}
