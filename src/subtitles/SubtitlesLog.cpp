#include "subtitles/SubtitlesLog.h"

Q_LOGGING_CATEGORY(lcSubtitles, "reelnook.subtitles", QtWarningMsg)
