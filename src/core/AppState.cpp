#include "core/AppState.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QJsonDocument>
#include <QJsonObject>
#include <QSettings>
#include <QStandardPaths>
#include <algorithm>
#include <cmath>

void Config::load() { load(resourcePath()); }

void Config::load(const QString& path) {
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return;
    const QJsonDocument doc = QJsonDocument::fromJson(file.readAll());
    if (!doc.isObject())
        return;
    const QJsonObject obj = doc.object();
    const QJsonValue u = obj.value(QStringLiteral("username")), e = obj.value(QStringLiteral("email")),
                     m = obj.value(QStringLiteral("moviesPath"));
    if (!u.isString() || !e.isString() || !m.isString())
        return;
    username = u.toString();
    email = e.toString();
    moviesPath = m.toString();
}

QString Config::resourcePath() {
    return QDir::cleanPath(QCoreApplication::applicationDirPath() + QStringLiteral("/../share/reelnook/config.json"));
}

Global::Global() : moviesURL(QUrl::fromLocalFile(QStandardPaths::writableLocation(QStandardPaths::MoviesLocation))) {}

QString Global::moviesFolder() const {
    if (!override_.isEmpty())
        return override_;
    return QDir::cleanPath(moviesURL.toLocalFile() + QStringLiteral("/") + config().moviesPath);
}

void Global::setMoviesFolderOverride(const QString& path) {
    override_ = path.isEmpty() ? QString() : QDir::cleanPath(QDir(path).absolutePath());
}

Config& config() {
    static Config instance;
    return instance;
}

Global& global() {
    static Global instance;
    return instance;
}

QString userCachePath() {
    const QString path =
        QStandardPaths::writableLocation(QStandardPaths::GenericCacheLocation) + QStringLiteral("/reelnook");
    QDir().mkpath(path);
    return path;
}

QUrl userCacheURL() { return QUrl::fromLocalFile(userCachePath() + QStringLiteral("/")); }

QSettings& user() {
    static QSettings settings(QSettings::NativeFormat, QSettings::UserScope, QStringLiteral("reelnook"),
                              QStringLiteral("reelnook"));
    return settings;
}

double userVolume(const QSettings& settings) {
    const QVariant stored = settings.value(QStringLiteral("volume"));
    if (!stored.isValid())
        return firstRunVolume;
    const double volume = stored.toDouble();
    return std::isfinite(volume) ? std::clamp(volume, 0.0, 1.0) : 0.0;
}

SubtitlePlacement userSubtitlePlacement(const QSettings& settings) {
    const QVariant stored = settings.value(QStringLiteral("subtitleStyle"));
    return stored.isValid() ? subtitlePlacementFromInt(stored.toInt()) : firstRunSubtitlePlacement;
}
