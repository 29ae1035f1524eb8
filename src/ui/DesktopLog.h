#pragma once

#include <QLoggingCategory>

// Messages about the desktop session's services on D-Bus (media controls, screen saver).
Q_DECLARE_LOGGING_CATEGORY(lcDesktop)
