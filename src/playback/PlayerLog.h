#pragma once

#include <QLoggingCategory>

// Messages about playback: movies mpv could not load, thumbnails that could not be made.
Q_DECLARE_LOGGING_CATEGORY(lcPlayer)
