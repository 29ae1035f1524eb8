#pragma once

#include <QIcon>
#include <QString>

// Icons by the symbol names the views use ("play", "gobackward.5", "list.bullet", ...).

// The freedesktop icon name that stands for `symbol`; empty for an unknown symbol.
QString freedesktopIconName(const QString& symbol);

// The icon for `symbol`: the freedesktop theme icon (Adwaita when the desktop's theme lacks
// it), drawn in the application palette's text colour so that it shows on dark and light
// backgrounds alike; a standard QStyle icon when the theme has none; a null icon for an
// unknown symbol.
QIcon symbolIcon(const QString& symbol);
