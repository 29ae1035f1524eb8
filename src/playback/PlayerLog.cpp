#include "playback/PlayerLog.h"

Q_LOGGING_CATEGORY(lcPlayer, "reelnook.player", QtWarningMsg)
