#pragma once

#include <QLoggingCategory>

// Messages about subtitle files that could not be read or written.
Q_DECLARE_LOGGING_CATEGORY(lcSubtitles)
