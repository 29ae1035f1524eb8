#pragma once

#include <QString>
#include <QUrl>

// `fileName` with its last extension replaced by `extension` (added when there is none).
// A leading dot starts a hidden name, not an extension: ".mp4" becomes ".mp4.srt".
QString replacingLastExtension(const QString& fileName, const QString& extension);

// `url` with the last extension of its file name replaced by `extension`.
QUrl replacingLastExtension(const QUrl& url, const QString& extension);
