#pragma once

#include <QLoggingCategory>

// One category per area, for failures the user does not see on screen. Turn them on with
// QT_LOGGING_RULES, e.g. "reelnook.player.debug=true".
Q_DECLARE_LOGGING_CATEGORY(lcPlayer)     // reelnook.player: decoding, thumbnails
Q_DECLARE_LOGGING_CATEGORY(lcLibrary)    // reelnook.library: the library and remembered positions
Q_DECLARE_LOGGING_CATEGORY(lcSubtitles)  // reelnook.subtitles: subtitle files and mark exports
