#pragma once

#include <QRegularExpression>
#include <QUrl>

// Turns an SRT file into the WebVTT file the player joins to the movie: the header
// "WEBVTT\r\n\r\n", then the SRT text with each index line dropped and the "," of the two
// time stamps below it made a ".". Stateless; one shared instance.
class SubtitleVTT {
public:
    static SubtitleVTT& shared();

    // Writes the WebVTT form of the SRT file at `srtURL` to `vttURL`, atomically. A missing or
    // empty SRT file writes nothing (an earlier WebVTT file stays). False when nothing was
    // written.
    bool convert(const QUrl& srtURL, const QUrl& vttURL) const;

    // The bytes of the WebVTT file made from `srt` (UTF-8), as `convert` writes them.
    static QByteArray converted(const QString& srt);

    // Where a movie's WebVTT file lives: directly in the program's cache folder, named like
    // the movie file with its last extension replaced by "vtt".
    static QUrl cacheURL(const QUrl& movieURL);

    // An index line with the time line below it; captures the parts around the two commas.
    static const QRegularExpression& conversionPattern();
};
