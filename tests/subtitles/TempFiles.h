#pragma once

#include "TestMedia.h"

#include <gtest/gtest.h>
#include <QFile>
#include <QString>
#include <QTemporaryDir>
#include <QUrl>
#include <ostream>

// Readable failure messages for texts.
inline void PrintTo(const QString& text, std::ostream* out) { *out << '"' << text.toStdString() << '"'; }

// A fresh temporary folder per test, with helpers to put bytes in a file and read them back.
class TempFiles : public testing::Test {
protected:
    QString path(const QString& name) const { return dir.filePath(name); }
    QUrl url(const QString& name) const { return QUrl::fromLocalFile(path(name)); }

    QUrl file(const QByteArray& bytes, const QString& name = QStringLiteral("movie.srt")) {
        EXPECT_TRUE(writeFile(path(name), bytes));
        return url(name);
    }

    static QByteArray contents(const QUrl& url) {
        QFile file(url.toLocalFile());
        return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
    }

    QTemporaryDir dir;
};
