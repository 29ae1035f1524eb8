#pragma once

#include <QByteArray>
#include <QFile>
#include <QString>

#include <cstdlib>

// Settings and caches of a benchmark's run go to a folder of their own, not the user's.
inline void useScratchHome(const QString& home) {
    const QByteArray h = QFile::encodeName(home);
    setenv("HOME", h.constData(), 1);
    setenv("XDG_CONFIG_HOME", (h + "/.config").constData(), 1);
    setenv("XDG_CACHE_HOME", (h + "/.cache").constData(), 1);
    setenv("XDG_DATA_HOME", (h + "/.local/share").constData(), 1);
    setenv("XDG_STATE_HOME", (h + "/.local/state").constData(), 1);
}
