#pragma once

#include <QLoggingCategory>

// Messages about the version check; a failed request is only worth a debug line.
Q_DECLARE_LOGGING_CATEGORY(lcUpdate)
