#pragma once

#include <QIcon>
#include <QString>
#include <optional>

// The icon of the installed application whose desktop-file id is `bundleIdentifier`: the file
// "<id>.desktop" in the XDG applications folders (the user's first), its "Icon=" taken as an
// absolute image path or a name in the icon theme. Absent when no such application is known
// (or its entry is hidden); an application without a usable icon gets the theme's generic one.
std::optional<QIcon> applicationIcon(const QString& bundleIdentifier);
