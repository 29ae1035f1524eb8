#include "core/Logging.h"

Q_LOGGING_CATEGORY(lcPlayer, "reelnook.player")
Q_LOGGING_CATEGORY(lcLibrary, "reelnook.library")
Q_LOGGING_CATEGORY(lcSubtitles, "reelnook.subtitles")
