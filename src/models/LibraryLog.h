#pragma once

#include <QLoggingCategory>

// Messages about the movie library: listing, probes, trash and remembered positions.
Q_DECLARE_LOGGING_CATEGORY(lcLibrary)
