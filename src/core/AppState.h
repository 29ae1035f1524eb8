#pragma once

#include "core/SubtitlePlacement.h"

#include <QString>
#include <QUrl>
#include <optional>

class QSettings;

// The read-only configuration of the installed program.
struct Config {
    QString username;
    QString email;
    QString moviesPath = QStringLiteral("VantriMovies");  // relative to the user's videos folder

    // Loads the program's own configuration file (share/reelnook/config.json beside the
    // program's prefix). Strict: all three keys, each a JSON string, or no change at all.
    void load();
    // The same from a given file.
    void load(const QString& path);

    // Where the program's configuration file lies: <prefix>/share/reelnook/config.json,
    // where <prefix> is the folder above the executable's folder.
    static QString resourcePath();
};

// Process-wide application state, main thread only.
struct Global {
    Global();

    QUrl moviesURL;  // the user's videos folder

    // The folder the library lists: moviesURL with config().moviesPath appended.
    QString moviesFolder() const;
    // Replaces the movies folder for this run (absolute path); empty restores the default.
    void setMoviesFolderOverride(const QString& path);

private:
    QString override_;
};

Config& config();
Global& global();

// The program's own cache folder (XDG cache home + "/reelnook"), created when missing.
// The converted WebVTT files live here; quitting removes them.
QUrl userCacheURL();
QString userCachePath();

// The user settings store ("subtitleStyle", "volume").
QSettings& user();

// The remembered transport choices, read from a settings store. A key that was never stored
// reads as what a first run starts with: full volume and subtitles at the bottom.
inline constexpr double firstRunVolume = 1.0;
inline constexpr SubtitlePlacement firstRunSubtitlePlacement = SubtitlePlacement::bottom;
// "volume", 0.0 to 1.0: a stored value is clamped to that range, one that is not a number reads as 0.
double userVolume(const QSettings& settings = user());
// "subtitleStyle": the integer 0 none, 1 top, 2 bottom, as stored.
SubtitlePlacement userSubtitlePlacement(const QSettings& settings = user());
