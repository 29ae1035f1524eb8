#pragma once

#include "TestMedia.h"
#include "core/AppState.h"
#include "playback/PlayerItem.h"

#include <gtest/gtest.h>
#include <QDir>
#include <QFile>
#include <QTemporaryDir>

// A movies folder of its own per test, and the WebVTT files it put into the shared cache
// folder removed again afterwards.
class PlaybackTest : public ::testing::Test {
protected:
    void TearDown() override {
        for (const QString& path : written_)
            QFile::remove(path);
    }

    // A clip in this test's folder; the name makes each movie's WebVTT file its own.
    QString clip(const QString& name, const ClipShape& shape = {}) {
        const QString path = folder_.filePath(name);
        if (!makeClip(path, shape))
            ADD_FAILURE() << "ffmpeg could not make " << path.toStdString();
        return path;
    }

    // Writes the WebVTT file of the movie at `moviePath` where the player item looks for it:
    // one cue over the first `seconds` seconds.
    QString writeSubtitles(const QString& moviePath, const QString& text = QStringLiteral("HELLO WORLD CUE"),
                           double seconds = 600) {
        const QString vtt = getPlayerItem(QUrl::fromLocalFile(moviePath), 0).subtitlePath;
        const int minutes = int(seconds / 60);
        const QString cue = QStringLiteral("WEBVTT\r\n\r\n00:00:00.000 --> 00:%1:00.000\r\n%2\r\n\r\n")
                                .arg(minutes, 2, 10, QLatin1Char('0'))
                                .arg(text);
        EXPECT_TRUE(writeFile(vtt, cue.toUtf8()));
        written_ << vtt;
        return vtt;
    }

    QTemporaryDir folder_;
    QStringList written_;
};
