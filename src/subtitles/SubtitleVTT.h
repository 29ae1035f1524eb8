#pragma once

#include <QRegularExpression>
#include <QUrl>

class SubtitleText;

// Turns an SRT file into the WebVTT file the player joins to the movie: the header
// "WEBVTT\r\n\r\n", then the SRT text with each index line dropped and the "," of the two
// time stamps below it made a ".". The file is read as the SRT reader reads it (byte-order
// marks, UTF-16, "\n" or "\r" line ends), so every cue the reader sees shows. Stateless; one
// shared instance.
class SubtitleVTT {
public:
    static SubtitleVTT& shared();

    // Writes the WebVTT form of the SRT file at `srtURL` to `vttURL`, atomically. A missing or
    // empty SRT file writes nothing (an earlier WebVTT file stays). False when nothing was
    // written.
    bool convert(const QUrl& srtURL, const QUrl& vttURL) const;

    // The bytes of the WebVTT file `convert` writes for an SRT file: its text with "\r\n" line
    // ends (whatever the file used), time lines of blocks without index in WebVTT form, then
    // `converted`.
    static QByteArray fromFile(const SubtitleText& srt);

    // The header, then `srt` with every match of the conversion pattern replaced (UTF-8).
    static QByteArray converted(const QString& srt);

    // Where a movie's WebVTT file lives: directly in the program's cache folder, named like
    // the movie file with its last extension replaced by "vtt".
    static QUrl cacheURL(const QUrl& movieURL);

    // An index line with the time line below it; captures the parts around the two commas.
    static const QRegularExpression& conversionPattern();
};
