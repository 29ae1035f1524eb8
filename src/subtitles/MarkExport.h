#pragma once

#include "core/Records.h"

#include <QByteArray>
#include <QList>
#include <QString>

// The marks of a movie as files other programs read. Every mark of the list becomes one
// chapter or row, in time order (a stable sort by start: items that start together keep their
// order). Texts are UTF-8 without byte-order mark.
//
// One rule for the texts: every form carries a mark's whole text as the list shows it, its
// kind's words included ("Mark: door", "Death: Bob (F)"); chapter titles join its lines with
// " ", the CSV keeps them. The "Start:" (title) and "BID:" (icon) lines of a sidecar are the
// movie's, not marks: no form has a chapter or row for them; the chapter list names the movie
// once, on its 00:00 line, when no mark starts there.
namespace MarkExport {

enum class Format {
    ffmetadata,   // FFmpeg's metadata file: ffmpeg -map_metadata, mpv --chapters-file
    chapterList,  // "MM:SS title" lines, the form video sites read from a description
    csv,          // start,end,kind,text (RFC 4180)
};

// The file name extension that fits the format, without the dot: "txt" for the two text
// forms (FFmpeg reads its metadata files under any name), "csv".
QString suffix(Format format);

// ";FFMETADATA1" and one [CHAPTER] per item with TIMEBASE=1/1000. A chapter ends where the next
// item starts and the last one at `duration`, but always at least 1 ms after its own start
// (items at the same time, or at or after the end, would otherwise make empty chapters, which
// FFmpeg drops). Times are rounded to the millisecond. "=", ";", "#", "\" and line breaks in a
// title are escaped with a backslash.
QByteArray ffmetadata(const QList<SubtitleItem>& items, double duration);

// One "MM:SS title" line per item, "\n"-terminated; "HH:MM:SS" on every line when `duration`
// is an hour or more. Seconds are truncated, as a position display does. The first line is at
// 00:00: when the first item starts later, a line "00:00 <introTitle>" comes first (video
// sites take a list as chapters only from 00:00 on). No items give an empty text.
QByteArray chapterList(const QList<SubtitleItem>& items, double duration,
                       const QString& introTitle = QStringLiteral("Intro"));

// A header "start,end,kind,text" and one row per item with CRLF line ends. start and end are
// the item's own times in seconds with three decimals ("12.500"); kind is "cue", "mark",
// "death F" or "death E" from the item's colour; the text keeps its line breaks. A field
// holding a comma, a double quote or a line break is quoted, its quotes doubled.
QByteArray csv(const QList<SubtitleItem>& items);

// The bytes of `format`; `introTitle` as for chapterList().
QByteArray bytes(Format format, const QList<SubtitleItem>& items, double duration,
                 const QString& introTitle = QStringLiteral("Intro"));

// Writes bytes() to `path` atomically; false, with the reason in `error` when given and a
// warning logged, when it could not.
bool write(const QString& path, Format format, const QList<SubtitleItem>& items, double duration,
           const QString& introTitle = QStringLiteral("Intro"), QString* error = nullptr);

// "cue", "mark", "death F" or "death E".
QString kind(ItemColor color);

}  // namespace MarkExport
