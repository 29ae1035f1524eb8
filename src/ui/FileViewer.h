#pragma once

#include <QUrl>

// Opens the desktop's file manager with `file` selected (org.freedesktop.FileManager1), or
// opens the folder that holds it when no file manager offers that.
void revealInFileViewer(const QUrl& file);
