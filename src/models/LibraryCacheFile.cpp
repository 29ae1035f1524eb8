#include "models/LibraryCacheFile.h"

#include "core/AppState.h"

#include <QCborArray>
#include <QCborMap>
#include <QCborValue>
#include <QFile>
#include <QSaveFile>

namespace LibraryCacheFile {
namespace {

const QString formatName = QStringLiteral("reelnook library");
constexpr qint64 formatVersion = 1;
// Far more than any folder holds; a larger file is not ours.
constexpr qint64 largestFile = 256 * 1024 * 1024;

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
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly) || file.size() > largestFile)
        return false;
    QCborParserError error;
    const QCborValue root = QCborValue::fromCbor(file.readAll(), &error);
    if (error.error != QCborError::NoError || !root.isMap())
        return false;
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

    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly) || file.write(root.toCborValue().toCbor()) < 0 || !file.commit()) {
        if (error)
            *error = file.errorString();
        return false;
    }
    return true;
}

}  // namespace LibraryCacheFile
