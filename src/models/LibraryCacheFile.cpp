#include "models/LibraryCacheFile.h"

#include "core/AppState.h"

#include <QCborArray>
#include <QCborMap>
#include <QCborStreamWriter>
#include <QCborValue>
#include <QFile>
#include <QSaveFile>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace LibraryCacheFile {
namespace {

const QString formatName = QStringLiteral("reelnook library");
constexpr qint64 formatVersion = 1;
// Far more than any folder holds; a larger file is not ours.
constexpr qint64 largestFile = 64 * 1024 * 1024;  // 50,000 movies take about 14 MB

QCborArray stampArray(const FileStamp& stamp) {
    return {qint64(stamp.device), qint64(stamp.inode), stamp.size,
            stamp.modifiedNs,     stamp.changedNs,     stamp.bornMs ? QCborValue(*stamp.bornMs) : QCborValue(nullptr)};
}

std::optional<FileStamp> stampFrom(const QCborValue& value) {
    const QCborArray array = value.toArray();
    if (array.size() != 6)
        return std::nullopt;
    for (qsizetype i = 0; i < 5; ++i)
        if (!array[i].isInteger())
            return std::nullopt;
    FileStamp stamp;
    stamp.device = quint64(array[0].toInteger());
    stamp.inode = quint64(array[1].toInteger());
    stamp.size = array[2].toInteger();
    stamp.modifiedNs = array[3].toInteger();
    stamp.changedNs = array[4].toInteger();
    if (array[5].isInteger())
        stamp.bornMs = array[5].toInteger();
    else if (!array[5].isNull())
        return std::nullopt;
    return stamp;
}

QCborValue optionalText(const std::optional<QString>& text) { return text ? QCborValue(*text) : QCborValue(nullptr); }

// A text, a null for none, or nothing at all for any other value.
std::optional<std::optional<QString>> optionalTextFrom(const QCborValue& value) {
    if (value.isString())
        return std::optional<QString>(value.toString());
    if (value.isNull())
        return std::optional<QString>();
    return std::nullopt;
}

const QString pathKey = QStringLiteral("path");
const QString stampKey = QStringLiteral("stamp");

}  // namespace

QString defaultPath() { return userCachePath() + QStringLiteral("/library.cbor"); }

bool read(const QString& path, StampedCache<MovieFacts>& movies, StampedCache<SidecarFacts>& sidecars) {
    // Only a regular file of a sane size: a FIFO or a link to a device in its place must neither
    // block the open nor fill the memory. O_NONBLOCK keeps the open of a FIFO from waiting for
    // a writer; the checks are made on what was opened.
    const int fd = ::open(QFile::encodeName(path).constData(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0)
        return false;
    QFile file;
    if (!file.open(fd, QIODevice::ReadOnly, QFileDevice::AutoCloseHandle)) {
        ::close(fd);
        return false;
    }
    struct stat info {};
    if (fstat(fd, &info) != 0 || !S_ISREG(info.st_mode) || info.st_size > largestFile)
        return false;
    QCborValue root;
    {
        // Parsed from the file's bytes, which go as soon as the tree is built.
        const QByteArray bytes = file.readAll();
        QCborParserError error;
        root = QCborValue::fromCbor(bytes, &error);
        if (error.error != QCborError::NoError || !root.isMap())
            return false;
    }
    const QCborMap map = root.toMap();
    if (map.value(QStringLiteral("format")).toString() != formatName ||
        map.value(QStringLiteral("version")).toInteger(-1) != formatVersion)
        return false;

    // The whole file is checked before any entry is taken.
    StampedCache<MovieFacts> readMovies;
    StampedCache<SidecarFacts> readSidecars;
    for (const QCborValue& entry : map.value(QStringLiteral("movies")).toArray()) {
        const QCborMap movie = entry.toMap();
        const auto stamp = stampFrom(movie.value(stampKey));
        const QCborValue duration = movie.value(QStringLiteral("duration"));
        if (!stamp || !movie.value(pathKey).isString() || !movie.value(QStringLiteral("time")).isString() ||
            !(duration.isDouble() || duration.isInteger()))
            return false;
        readMovies.restore(movie.value(pathKey).toString(), *stamp,
                           MovieFacts{movie.value(QStringLiteral("time")).toString(), duration.toDouble()});
    }
    for (const QCborValue& entry : map.value(QStringLiteral("sidecars")).toArray()) {
        const QCborMap sidecar = entry.toMap();
        const auto stamp = stampFrom(sidecar.value(stampKey));
        const QCborValue opened = sidecar.value(QStringLiteral("opened"));
        const auto title = optionalTextFrom(sidecar.value(QStringLiteral("title")));
        const auto BID = optionalTextFrom(sidecar.value(QStringLiteral("BID")));
        if (!stamp || !sidecar.value(pathKey).isString() || !opened.isBool() || !title || !BID)
            return false;
        readSidecars.restore(sidecar.value(pathKey).toString(), *stamp,
                             opened.toBool() ? SidecarFacts(SubtitleSRT::Info{*title, *BID}) : SidecarFacts());
    }
    readMovies.forEach([&](const QString& key, const FileStamp& stamp, const MovieFacts& facts) {
        movies.restore(key, stamp, facts);
    });
    readSidecars.forEach([&](const QString& key, const FileStamp& stamp, const SidecarFacts& facts) {
        sidecars.restore(key, stamp, facts);
    });
    return true;
}

bool write(const QString& path, const StampedCache<MovieFacts>& movies, const StampedCache<SidecarFacts>& sidecars,
           QString* error) {
    QCborArray movieArray;
    movies.forEach([&](const QString& key, const FileStamp& stamp, const MovieFacts& facts) {
        movieArray.append(QCborMap{{pathKey, key},
                                   {stampKey, stampArray(stamp)},
                                   {QStringLiteral("time"), facts.time},
                                   {QStringLiteral("duration"), facts.duration}});
    });
    QCborArray sidecarArray;
    sidecars.forEach([&](const QString& key, const FileStamp& stamp, const SidecarFacts& facts) {
        sidecarArray.append(QCborMap{{pathKey, key},
                                     {stampKey, stampArray(stamp)},
                                     {QStringLiteral("opened"), facts.has_value()},
                                     {QStringLiteral("title"), optionalText(facts ? facts->title : std::nullopt)},
                                     {QStringLiteral("BID"), optionalText(facts ? facts->BID : std::nullopt)}});
    });
    const QCborMap root{{QStringLiteral("format"), formatName},
                        {QStringLiteral("version"), formatVersion},
                        {QStringLiteral("movies"), movieArray},
                        {QStringLiteral("sidecars"), sidecarArray}};

    // Written whole or not at all: QSaveFile writes beside the file, syncs it to the disk and
    // renames it over the old one only when every byte went out.
    QSaveFile file(path);
    const auto fail = [&] {
        if (error)
            *error = file.errorString();
        file.cancelWriting();
        return false;
    };
    if (!file.open(QIODevice::WriteOnly))
        return fail();
    QCborStreamWriter writer(&file);
    root.toCborValue().toCbor(writer);
    if (file.error() != QFileDevice::NoError || !file.flush())
        return fail();
    if (!file.commit()) {
        if (error)
            *error = file.errorString();
        return false;
    }
    return true;
}

}  // namespace LibraryCacheFile
