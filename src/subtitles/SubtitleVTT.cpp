#include "subtitles/SubtitleVTT.h"

#include "core/AppState.h"
#include "subtitles/AtomicWrite.h"
#include "subtitles/FileInputStream.h"
#include "subtitles/FileNaming.h"


SubtitleVTT& SubtitleVTT::shared() {
    static SubtitleVTT instance;
    return instance;
}

const QRegularExpression& SubtitleVTT::conversionPattern() {
    static const QRegularExpression expression = [] {
        // "\r\n" in the pattern are the two characters themselves: an SRT file with "\n" line
        // ends is copied unchanged. Unicode properties as for the reader's patterns.
        QRegularExpression e(QStringLiteral("\\d+\r\n(\\d{2}:\\d{2}:\\d{2}),(\\d{3}\\s*-->\\s*\\d{2}:\\d{2}:\\d{2}),(\\d{3})"),
                             QRegularExpression::UseUnicodePropertiesOption);
        e.optimize();
        return e;
    }();
    return expression;
}

QString SubtitleVTT::converted(const QString& srt) {
    QString text = srt;
    if (conversionPattern().isValid())
        text.replace(conversionPattern(), QStringLiteral("\\1.\\2.\\3"));
    return QStringLiteral("WEBVTT\r\n\r\n") + text;
}

bool SubtitleVTT::convert(const QUrl& srtURL, const QUrl& vttURL) const {
    std::optional<QString> srt;
    if (auto stream = FileInputStream::open(srtURL.toLocalFile(), FileInputStream::capacity))
        srt = stream->readAll();
    if (!srt)
        return false;
    return writeAtomically(vttURL.toLocalFile(), converted(*srt).toUtf8());
}

QUrl SubtitleVTT::cacheURL(const QUrl& movieURL) {
    return QUrl::fromLocalFile(userCachePath() + u'/' + replacingLastExtension(movieURL.fileName(), QStringLiteral("vtt")));
}
