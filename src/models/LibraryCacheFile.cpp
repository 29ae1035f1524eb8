#include "models/LibraryCacheFile.h"

#include "core/AppState.h"

#include <QCborStreamReader>
#include <QCborStreamWriter>
#include <QFile>
#include <QSaveFile>
#include <QTimeZone>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace LibraryCacheFile {
namespace {

// The file: a map {"format": formatName, "version": 1, "folder": head, "zone": time zone,
// "movies": [movie...], "sidecars": [sidecar...]}: "folder" optional, and ahead of the entries so
// that it is read without them; "zone" optional, the id of the local time zone the movies' "time"
// texts were made in, and ahead of the movies. A head {"path", "stamp", "movies": count,
// "newest": path}, a movie {"path", "stamp", "time", "duration"}, a sidecar {"path", "stamp",
// "opened", "title", "BID"} (title and BID a text or null), a stamp [device, inode, size,
// modified ns, changed ns, born ms or null]. Read and written as a stream: neither the file's
// bytes nor a tree of its values are held whole (14 MB and some 60 MB at 50,000 movies).
const QString formatName = QStringLiteral("reelnook library");
constexpr qint64 formatVersion = 1;
// Far more than any folder holds; a larger file is not ours.
constexpr qint64 largestFile = 64 * 1024 * 1024;  // 50,000 movies take about 11 MB

// Reads one value of each kind from the stream and moves past it; absent on anything else.
class Reader {
public:
    explicit Reader(QIODevice* device) : stream_(device) {}

    std::optional<QString> text() {
        if (!stream_.isString())
            return std::nullopt;
        QString text;
        auto chunk = stream_.readString();
        while (chunk.status == QCborStreamReader::Ok) {
            text += chunk.data;
            chunk = stream_.readString();
        }
        if (chunk.status == QCborStreamReader::Error)
            return std::nullopt;
        return text;
    }

    std::optional<qint64> integer() {
        if (!stream_.isInteger())
            return std::nullopt;
        const qint64 value = stream_.toInteger();
        return stream_.next() ? std::optional<qint64>(value) : std::nullopt;
    }

    std::optional<double> number() {
        double value = 0;
        if (stream_.isDouble())
            value = stream_.toDouble();
        else if (stream_.isFloat())
            value = stream_.toFloat();
        else if (stream_.isFloat16())
            value = double(stream_.toFloat16());
        else if (stream_.isInteger())
            value = double(stream_.toInteger());
        else
            return std::nullopt;
        return stream_.next() ? std::optional<double>(value) : std::nullopt;
    }

    std::optional<bool> boolean() {
        if (!stream_.isBool())
            return std::nullopt;
        const bool value = stream_.toBool();
        return stream_.next() ? std::optional<bool>(value) : std::nullopt;
    }

    // A null moved past; false (and nothing read) for anything else.
    bool null() { return stream_.isNull() && stream_.next(); }

    // A text, a null for none, or nothing at all for any other value.
    std::optional<std::optional<QString>> optionalText() {
        if (null())
            return std::optional<QString>();
        if (auto value = text())
            return std::optional<QString>(std::move(*value));
        return std::nullopt;
    }

    std::optional<FileStamp> stamp() {
        if (!stream_.isArray() || !stream_.isLengthKnown() || stream_.length() != 6 || !stream_.enterContainer())
            return std::nullopt;
        qint64 fields[5] = {};
        for (qint64& field : fields) {
            const auto value = integer();
            if (!value)
                return std::nullopt;
            field = *value;
        }
        FileStamp stamp;
        stamp.device = quint64(fields[0]);
        stamp.inode = quint64(fields[1]);
        stamp.size = fields[2];
        stamp.modifiedNs = fields[3];
        stamp.changedNs = fields[4];
        if (const auto born = integer())
            stamp.bornMs = *born;
        else if (!null())
            return std::nullopt;
        if (!leave())
            return std::nullopt;
        return stamp;
    }

    // The number of entries of the array here, when the file tells it (0 otherwise); within what
    // a file of the largest size can hold.
    qsizetype arrayLength() const {
        if (!stream_.isArray() || !stream_.isLengthKnown())
            return 0;
        return qsizetype(std::min<quint64>(stream_.length(), largestFile / 16));
    }

    // Calls `entry()` for each element of an array (false from it: the file is refused).
    template <class Entry>
    bool array(Entry entry) {
        if (!stream_.isArray() || !stream_.enterContainer())
            return false;
        while (stream_.hasNext())
            if (!entry())
                return false;
        return leave();
    }

    // Calls `field(key)` for each key of a map, positioned on its value (false from it: the file
    // is refused).
    template <class Field>
    bool map(Field field) {
        if (!enterMap())
            return false;
        while (stream_.hasNext()) {
            const auto key = text();
            if (!key || !field(*key))
                return false;
        }
        return leave();
    }

    // For a map read key by key: enterMap(), then nextKey() and a value until it gives none.
    bool enterMap() { return stream_.isMap() && stream_.enterContainer(); }
    std::optional<QString> nextKey() { return stream_.hasNext() ? text() : std::nullopt; }

    // Moves past a value of any kind.
    bool skip() {
        if (stream_.isContainer()) {
            if (!stream_.enterContainer())
                return false;
            while (stream_.hasNext())
                if (!skip())
                    return false;
            return leave();
        }
        if (stream_.isString()) {
            auto chunk = stream_.readString();
            while (chunk.status == QCborStreamReader::Ok)
                chunk = stream_.readString();
            return chunk.status == QCborStreamReader::EndOfString;
        }
        if (stream_.isByteArray()) {
            auto chunk = stream_.readByteArray();
            while (chunk.status == QCborStreamReader::Ok)
                chunk = stream_.readByteArray();
            return chunk.status == QCborStreamReader::EndOfString;
        }
        return stream_.next();
    }

private:
    bool leave() { return stream_.lastError() == QCborError::NoError && stream_.leaveContainer(); }

    QCborStreamReader stream_;
};

void writeStamp(QCborStreamWriter& writer, const FileStamp& stamp) {
    writer.startArray(6);
    writer.append(qint64(stamp.device));
    writer.append(qint64(stamp.inode));
    writer.append(stamp.size);
    writer.append(stamp.modifiedNs);
    writer.append(stamp.changedNs);
    if (stamp.bornMs)
        writer.append(*stamp.bornMs);
    else
        writer.appendNull();
    writer.endArray();
}

void writeOptionalText(QCborStreamWriter& writer, const std::optional<QString>& text) {
    if (text)
        writer.append(*text);
    else
        writer.appendNull();
}

const QString pathKey = QStringLiteral("path");
const QString stampKey = QStringLiteral("stamp");
const QString moviesKey = QStringLiteral("movies");
const QString zoneKey = QStringLiteral("zone");

// Opens `path` for reading in `file` when it is a regular file of a sane size: a FIFO or a link
// to a device in its place must neither block the open nor fill the memory. O_NONBLOCK keeps the
// open of a FIFO from waiting for a writer; the checks are made on what was opened.
bool openCacheFile(const QString& path, QFile& file) {
    const int fd = ::open(QFile::encodeName(path).constData(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0)
        return false;
    if (!file.open(fd, QIODevice::ReadOnly, QFileDevice::AutoCloseHandle)) {
        ::close(fd);
        return false;
    }
    struct stat info {};
    return fstat(fd, &info) == 0 && S_ISREG(info.st_mode) && info.st_size <= largestFile;
}

std::optional<FolderHead> readFolderHead(Reader& reader) {
    std::optional<QString> folder, newest;
    std::optional<FileStamp> stamp;
    std::optional<qint64> count;
    const bool ok = reader.map([&](const QString& key) {
        if (key == pathKey)
            return bool(folder = reader.text());
        if (key == stampKey)
            return bool(stamp = reader.stamp());
        if (key == moviesKey)
            return bool(count = reader.integer());
        if (key == QLatin1String("newest"))
            return bool(newest = reader.text());
        return reader.skip();
    });
    if (!ok || !folder || !stamp || !count || !newest)
        return std::nullopt;
    return FolderHead{std::move(*folder), *stamp, *count, std::move(*newest)};
}

}  // namespace

QString defaultPath() { return userCachePath() + QStringLiteral("/library.cbor"); }

bool read(const QString& path, SavedEntries<MovieFacts>& movies, SavedEntries<SidecarFacts>& sidecars,
          std::optional<FolderHead>* head) {
    QFile file;
    if (!openCacheFile(path, file))
        return false;

    // The whole file is checked before any entry is taken.
    SavedEntries<MovieFacts> readMovies;
    SavedEntries<SidecarFacts> readSidecars;
    std::optional<QString> format;
    std::optional<qint64> version;
    std::optional<FolderHead> folderHead;
    // Creation dates shown in local time: made again from the stamps when the file's were made
    // in another zone (a laptop taken across zones), else they would show, and sort, as there.
    bool otherZone = false;
    Reader reader(&file);
    const auto readMovie = [&] {
        std::optional<QString> moviePath, time;
        std::optional<FileStamp> stamp;
        std::optional<double> duration;
        const bool ok = reader.map([&](const QString& key) {
            if (key == pathKey)
                return bool(moviePath = reader.text());
            if (key == stampKey)
                return bool(stamp = reader.stamp());
            if (key == QLatin1String("time"))
                return bool(time = reader.text());
            if (key == QLatin1String("duration"))
                return bool(duration = reader.number());
            return reader.skip();
        });
        if (!ok || !moviePath || !stamp || !time || !duration)
            return false;
        readMovies.append(*moviePath, *stamp,
                          MovieFacts{otherZone ? stamp->creationText() : std::move(*time), *duration});
        return true;
    };
    const auto readSidecar = [&] {
        std::optional<QString> sidecarPath;
        std::optional<FileStamp> stamp;
        std::optional<bool> opened;
        std::optional<std::optional<QString>> title, BID;
        const bool ok = reader.map([&](const QString& key) {
            if (key == pathKey)
                return bool(sidecarPath = reader.text());
            if (key == stampKey)
                return bool(stamp = reader.stamp());
            if (key == QLatin1String("opened"))
                return bool(opened = reader.boolean());
            if (key == QLatin1String("title"))
                return bool(title = reader.optionalText());
            if (key == QLatin1String("BID"))
                return bool(BID = reader.optionalText());
            return reader.skip();
        });
        if (!ok || !sidecarPath || !stamp || !opened || !title || !BID)
            return false;
        readSidecars.append(
            *sidecarPath, *stamp,
            *opened ? SidecarFacts(SubtitleSRT::Info{std::move(*title), std::move(*BID)}) : SidecarFacts());
        return true;
    };
    const bool ok = reader.map([&](const QString& key) {
        if (key == QLatin1String("format"))
            return bool(format = reader.text());
        if (key == QLatin1String("version"))
            return bool(version = reader.integer());
        if (key == QLatin1String("folder"))
            return bool(folderHead = readFolderHead(reader));
        if (key == zoneKey) {
            const auto zone = reader.text();
            otherZone = zone && *zone != QString::fromUtf8(QTimeZone::systemTimeZoneId());
            return bool(zone);
        }
        if (key == moviesKey) {
            readMovies.reserve(reader.arrayLength());
            return reader.array(readMovie);
        }
        if (key == QLatin1String("sidecars")) {
            readSidecars.reserve(reader.arrayLength());
            return reader.array(readSidecar);
        }
        return reader.skip();
    });
    if (!ok || format != formatName || version != formatVersion)
        return false;
    readMovies.sort();
    movies.merge(std::move(readMovies));
    if (otherZone)
        movies.markChanged();
    readSidecars.sort();
    sidecars.merge(std::move(readSidecars));
    if (head)
        *head = std::move(folderHead);
    return true;
}

std::optional<FolderHead> readHead(const QString& path) {
    QFile file;
    if (!openCacheFile(path, file))
        return std::nullopt;
    Reader reader(&file);
    if (!reader.enterMap())
        return std::nullopt;
    // The head comes after the format and version and before the entries, which are not read.
    std::optional<QString> format;
    std::optional<qint64> version;
    while (const auto key = reader.nextKey()) {
        if (*key == QLatin1String("format")) {
            if (!(format = reader.text()))
                return std::nullopt;
        } else if (*key == QLatin1String("version")) {
            if (!(version = reader.integer()))
                return std::nullopt;
        } else if (*key == QLatin1String("folder")) {
            if (format != formatName || version != formatVersion)
                return std::nullopt;
            return readFolderHead(reader);
        } else {
            return std::nullopt;
        }
    }
    return std::nullopt;
}

bool write(const QString& path, const Entries<MovieFacts>& movies, const Entries<SidecarFacts>& sidecars,
           const std::optional<FolderHead>& head, QString* error) {
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
    writer.startMap(head ? 6 : 5);
    writer.append(QLatin1String("format"));
    writer.append(formatName);
    writer.append(QLatin1String("version"));
    writer.append(formatVersion);
    if (head) {
        writer.append(QLatin1String("folder"));
        writer.startMap(4);
        writer.append(pathKey);
        writer.append(head->folder);
        writer.append(stampKey);
        writeStamp(writer, head->stamp);
        writer.append(moviesKey);
        writer.append(head->movieCount);
        writer.append(QLatin1String("newest"));
        writer.append(head->newest);
        writer.endMap();
    }
    writer.append(zoneKey);
    writer.append(QString::fromUtf8(QTimeZone::systemTimeZoneId()));
    writer.append(moviesKey);
    writer.startArray(quint64(movies.count));
    movies.forEach([&](const QString& key, const FileStamp& stamp, const MovieFacts& facts) {
        writer.startMap(4);
        writer.append(pathKey);
        writer.append(key);
        writer.append(stampKey);
        writeStamp(writer, stamp);
        writer.append(QLatin1String("time"));
        writer.append(facts.time);
        writer.append(QLatin1String("duration"));
        writer.append(facts.duration);
        writer.endMap();
    });
    writer.endArray();
    writer.append(QLatin1String("sidecars"));
    writer.startArray(quint64(sidecars.count));
    sidecars.forEach([&](const QString& key, const FileStamp& stamp, const SidecarFacts& facts) {
        writer.startMap(5);
        writer.append(pathKey);
        writer.append(key);
        writer.append(stampKey);
        writeStamp(writer, stamp);
        writer.append(QLatin1String("opened"));
        writer.append(facts.has_value());
        writer.append(QLatin1String("title"));
        writeOptionalText(writer, facts ? facts->title : std::nullopt);
        writer.append(QLatin1String("BID"));
        writeOptionalText(writer, facts ? facts->BID : std::nullopt);
        writer.endMap();
    });
    writer.endArray();
    writer.endMap();
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
