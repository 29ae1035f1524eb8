#include "ui/DesktopLog.h"

Q_LOGGING_CATEGORY(lcDesktop, "reelnook.desktop", QtWarningMsg)
