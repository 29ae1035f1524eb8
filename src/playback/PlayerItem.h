#pragma once

#include <QList>
#include <QString>
#include <QUrl>
#include <QtGlobal>

// A time as a count of units of 1/timescale second; every time the player builds uses
// milliseconds.
struct MediaTime {
    static constexpr qint32 millisecondScale = 1000;

    qint64 value = 0;
    qint32 timescale = millisecondScale;

    // Rounded to the nearest unit; negative, infinite or NaN seconds give 0.
    static MediaTime fromSeconds(double seconds, qint32 timescale = millisecondScale);
    double seconds() const { return timescale > 0 ? double(value) / timescale : 0.0; }

    friend bool operator==(const MediaTime&, const MediaTime&) = default;
};

// A span of media time starting at `start`.
struct TimeRange {
    MediaTime start;
    MediaTime duration;

    friend bool operator==(const TimeRange&, const TimeRange&) = default;
};

// What the player plays for one movie: the movie's own streams in the movie's order, then the
// streams of its subtitle file, all over one range from 0 of the movie's length. mpv reads the
// streams itself when it opens the movie; nothing is probed to build an item. A value: every
// build makes a new one.
struct PlayerItem {
    QUrl url;                       // the movie
    QString subtitlePath;           // the subtitle file looked up for the movie, present or not
    bool hasSubtitles = false;      // the subtitle file was a regular file when the item was built
    bool subtitlesPending = false;  // the subtitle file is still being written (a large sidecar)
    TimeRange range;

    friend bool operator==(const PlayerItem&, const PlayerItem&) = default;
};

// Builds the item for the movie at `url` of `duration` seconds; a stat of the subtitle file
// is all it reads. The subtitle file is the one the sidecar loader made for the movie: its
// WebVTT file, or the Matroska form of a large sidecar.
PlayerItem getPlayerItem(const QUrl& url, double duration);
