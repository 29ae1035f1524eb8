#include "models/LibraryLog.h"

Q_LOGGING_CATEGORY(lcLibrary, "reelnook.library", QtWarningMsg)
