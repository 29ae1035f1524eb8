#include "models/ResumeStore.h"

#include "models/FileStamp.h"
#include "models/LibraryLog.h"
#include "subtitles/AtomicWrite.h"
#include "subtitles/FileInputStream.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QSettings>
#include <QStandardPaths>

#include <cmath>

namespace {

// Marks the file as this program's, so a foreign JSON file at the same place is not taken in.
const QString formatName = QStringLiteral("reelnook-positions");
constexpr int formatVersion = 1;
const QString enabledKey = QStringLiteral("resumePlayback");

bool nearAnEnd(double seconds, double duration) {
    return seconds < ResumeStore::edgeSeconds || (duration > 0 && seconds > duration - ResumeStore::edgeSeconds);
}

// JSON numbers are doubles: 64-bit device and inode numbers travel as decimal text.
std::optional<quint64> unsignedField(const QJsonValue& value) {
    bool ok = false;
    const quint64 number = value.toString().toULongLong(&ok);
    return ok ? std::optional(number) : std::nullopt;
}

}  // namespace

QString ResumeStore::defaultPath() {
    return QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation) +
           QStringLiteral("/reelnook/positions.json");
}

ResumeStore::ResumeStore(QString path) : path_(std::move(path)) {}

bool ResumeStore::enabled(const QSettings& settings) { return settings.value(enabledKey, true).toBool(); }

void ResumeStore::setEnabled(QSettings& settings, bool on) { settings.setValue(enabledKey, on); }

std::optional<double> ResumeStore::position(const QUrl& movie, double duration) {
    load();
    const qsizetype at = find(movie.toLocalFile());
    if (at < 0)
        return std::nullopt;
    const double seconds = entries_[at].seconds;
    if (nearAnEnd(seconds, duration))
        return std::nullopt;
    return seconds;
}

bool ResumeStore::remember(const QUrl& movie, double seconds, double duration) {
    load();
    const QString path = movie.toLocalFile();
    if (path.isEmpty() || !std::isfinite(seconds))
        return true;
    const qsizetype at = find(path);
    const bool forget = nearAnEnd(seconds, duration);
    if (at < 0 && forget)
        return true;
    if (at >= 0)
        entries_.removeAt(at);
    // What was kept for an earlier file at this place is stale now.
    const QString absolute = QFileInfo(path).absoluteFilePath();
    entries_.removeIf([&absolute](const Entry& entry) { return entry.path == absolute; });
    if (!forget) {
        Entry entry;
        entry.path = absolute;
        entry.seconds = seconds;
        if (const auto stamp = FileStamp::of(path)) {
            entry.device = stamp->device;
            entry.inode = stamp->inode;
            entry.size = stamp->size;
        }
        entries_.prepend(entry);
        if (entries_.size() > capacity)
            entries_.resize(capacity);
    }
    return save();
}

qsizetype ResumeStore::find(const QString& path) const {
    if (path.isEmpty())
        return -1;
    const QString absolute = QFileInfo(path).absoluteFilePath();
    const auto stamp = FileStamp::of(path);
    qsizetype samePath = -1;
    for (qsizetype i = 0; i < entries_.size(); ++i) {
        const Entry& entry = entries_[i];
        if (stamp && entry.size == stamp->size && entry.device == stamp->device && entry.inode == stamp->inode)
            return i;
        if (samePath < 0 && entry.path == absolute && (!stamp || entry.size < 0 || entry.size == stamp->size))
            samePath = i;
    }
    return samePath;
}

void ResumeStore::load() {
    if (loaded_)
        return;
    loaded_ = true;
    const QFileInfo info(path_);
    if (!info.exists())
        return;
    // Only a regular file of a sane size is read: a FIFO would block, a device never end.
    auto file = FileInputStream::open(path_, 0);
    if (!file || file->size() > maxFileBytes) {
        qCWarning(lcLibrary) << "ignoring the remembered positions" << path_
                             << (file ? "which are larger than the most they take"
                                      : "which is no readable regular file");
        return;
    }
    QJsonParseError error;
    const QJsonDocument document =
        QJsonDocument::fromJson(file->readBytes(maxFileBytes).value_or(QByteArray()), &error);
    const QJsonObject root = document.object();
    if (error.error != QJsonParseError::NoError || root.value(QStringLiteral("format")).toString() != formatName ||
        root.value(QStringLiteral("version")).toInt() != formatVersion ||
        !root.value(QStringLiteral("movies")).isArray()) {
        qCWarning(lcLibrary) << "ignoring a damaged or foreign positions file" << path_;
        return;
    }
    for (const QJsonValue& value : root.value(QStringLiteral("movies")).toArray()) {
        const QJsonObject object = value.toObject();
        const QJsonValue path = object.value(QStringLiteral("path"));
        const QJsonValue seconds = object.value(QStringLiteral("seconds"));
        if (!path.isString() || !seconds.isDouble() || !std::isfinite(seconds.toDouble()))
            continue;
        Entry entry;
        entry.path = path.toString();
        entry.seconds = seconds.toDouble();
        const auto device = unsignedField(object.value(QStringLiteral("device")));
        const auto inode = unsignedField(object.value(QStringLiteral("inode")));
        const QJsonValue size = object.value(QStringLiteral("size"));
        if (device && inode && size.isDouble() && size.toDouble() >= 0) {
            entry.device = *device;
            entry.inode = *inode;
            entry.size = qint64(size.toDouble());
        }
        entries_.append(entry);
        if (entries_.size() == capacity)
            break;
    }
}

bool ResumeStore::save() const {
    QJsonArray movies;
    for (const Entry& entry : entries_) {
        QJsonObject object{{QStringLiteral("path"), entry.path}, {QStringLiteral("seconds"), entry.seconds}};
        if (entry.size >= 0) {
            object.insert(QStringLiteral("device"), QString::number(entry.device));
            object.insert(QStringLiteral("inode"), QString::number(entry.inode));
            object.insert(QStringLiteral("size"), double(entry.size));
        }
        movies.append(object);
    }
    const QJsonObject root{{QStringLiteral("format"), formatName},
                           {QStringLiteral("version"), formatVersion},
                           {QStringLiteral("movies"), movies}};
    QString error = QStringLiteral("cannot make its folder");
    if (!QDir().mkpath(QFileInfo(path_).absolutePath()) ||
        !writeAtomically(path_, QJsonDocument(root).toJson(QJsonDocument::Compact), &error)) {
        qCWarning(lcLibrary) << "cannot save the remembered positions to" << path_ << ":" << error;
        return false;
    }
    return true;
}
