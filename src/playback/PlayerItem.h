#pragma once

#include "models/MediaProbe.h"

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

// One stream joined into a player item: which file it comes from, its index there, its kind,
// and the part of it that plays.
struct PlayerTrack {
    QString source;  // local file path
    int index = 0;   // the stream's index in `source`
    MediaProbe::MediaType type = MediaProbe::MediaType::other;
    TimeRange range;

    friend bool operator==(const PlayerTrack&, const PlayerTrack&) = default;
};

// What the player plays for one movie: the movie's streams in the movie's order, then the
// streams of its WebVTT file, all over one range from 0 of the movie's length. A value:
// every build makes a new one.
struct PlayerItem {
    QUrl url;              // the movie
    QString subtitlePath;  // the WebVTT file looked up for the movie, present or not
    TimeRange range;
    QList<PlayerTrack> tracks;

    // The streams that come from `path`.
    QList<PlayerTrack> tracksFrom(const QString& path) const;
    bool hasSubtitleTracks() const { return !tracksFrom(subtitlePath).isEmpty(); }

    friend bool operator==(const PlayerItem&, const PlayerItem&) = default;
};

// Builds the item for the movie at `url` of `duration` seconds. The two files' stream tables
// are read on a worker thread while the calling thread waits; a file or stream that cannot
// be read is simply missing from the item.
PlayerItem getPlayerItem(const QUrl& url, double duration);
