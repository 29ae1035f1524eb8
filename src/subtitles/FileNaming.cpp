#include "subtitles/FileNaming.h"

QString replacingLastExtension(const QString& fileName, const QString& extension) {
    const qsizetype dot = fileName.lastIndexOf(u'.');
    const QString base = dot > 0 ? fileName.left(dot) : fileName;
    return base + u'.' + extension;
}

QUrl replacingLastExtension(const QUrl& url, const QString& extension) {
    const QString path = url.path();
    const qsizetype slash = path.lastIndexOf(u'/');
    QUrl result = url;
    result.setPath(path.left(slash + 1) + replacingLastExtension(path.mid(slash + 1), extension));
    return result;
}
