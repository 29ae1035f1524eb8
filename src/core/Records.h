#pragma once

#include <QHash>
#include <QMetaType>
#include <QString>
#include <QUrl>
#include <QUuid>
#include <functional>

// The display colour of a record, which for a subtitle item is its category: white for a
// plain cue, gray for a mark, green and orange for the two kinds of death note.
enum class ItemColor { white, gray, green, orange };

// One movie file of the library. Every construction draws a fresh id.
struct VideoItem {
    VideoItem();
    VideoItem(const QUrl& url, QString time, QString text, QString BID, ItemColor color, double duration);
    // The same for the local file at `path`, whose text is shared rather than copied.
    static VideoItem atPath(QString path, QString time, QString text, QString BID, ItemColor color, double duration);

    // The movie file's URL, made from `path` when asked: a library of tens of thousands of rows
    // would otherwise hold a URL of about 300 bytes per row beside the path.
    QUrl url() const;

    QUuid id;
    QString path;  // the movie file's local path; empty for none
    QString time;  // creation date "yyyy-MM-dd HH:mm:ss", or "0000-00-00 00:00:00"
    QString text;  // title shown in the library
    QString BID;   // application whose icon stands for the movie
    ItemColor color = ItemColor::white;
    double duration = 0;  // seconds

    friend bool operator==(const VideoItem&, const VideoItem&) = default;
};

// One timed cue of a movie's SRT file; also a mark on the timeline. Every construction
// draws a fresh id.
struct SubtitleItem {
    SubtitleItem();
    SubtitleItem(double stime, double etime, QString text, ItemColor color, double duration);

    QUuid id;
    double stime = 0;  // start, seconds from the start of the movie
    double etime = 0;  // end, seconds
    QString text;      // lines joined by "\r\n"
    ItemColor color = ItemColor::white;
    double duration = 0;  // length of the whole movie, not of the cue

    friend bool operator==(const SubtitleItem&, const SubtitleItem&) = default;
};

size_t qHash(const VideoItem& item, size_t seed = 0) noexcept;
size_t qHash(const SubtitleItem& item, size_t seed = 0) noexcept;

template <>
struct std::hash<VideoItem> {
    size_t operator()(const VideoItem& item) const noexcept { return qHash(item); }
};
template <>
struct std::hash<SubtitleItem> {
    size_t operator()(const SubtitleItem& item) const noexcept { return qHash(item); }
};

Q_DECLARE_METATYPE(VideoItem)
Q_DECLARE_METATYPE(SubtitleItem)
