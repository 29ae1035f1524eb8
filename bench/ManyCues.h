#pragma once

#include <QByteArray>
#include <QFile>
#include <QString>
#include <cstdio>

// Writes an SRT file of `count` marks 100 ms apart, 90 ms each (about 60 bytes a cue), in
// pieces of about 1 MB; false when the file cannot be written whole.
inline bool writeManyCues(const QString& path, int count) {
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly))
        return false;
    QByteArray chunk;
    char stamp[64];
    for (int i = 0; i < count; ++i) {
        const qint64 ms = qint64(i) * 100;
        std::snprintf(stamp, sizeof stamp, "%02lld:%02lld:%02lld,%03lld --> %02lld:%02lld:%02lld,%03lld", ms / 3600000,
                      ms / 60000 % 60, ms / 1000 % 60, ms % 1000, (ms + 90) / 3600000, (ms + 90) / 60000 % 60,
                      (ms + 90) / 1000 % 60, (ms + 90) % 1000);
        chunk += QByteArray::number(i + 1) + "\r\n" + stamp + "\r\nMark: note " + QByteArray::number(i) + "\r\n\r\n";
        if (chunk.size() > (1 << 20)) {
            file.write(chunk);
            chunk.clear();
        }
    }
    file.write(chunk);
    return file.error() == QFileDevice::NoError;
}
