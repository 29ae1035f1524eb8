// Feeds arbitrary bytes as an SRT file to the reader, the info reader and the WebVTT
// conversion, and checks that what the reader made survives a write and a second read, that
// texts of any form written as cues read back as the same items, and that the WebVTT of a
// file the writer made is what the index-line pattern alone makes of it.
#include "subtitles/SubtitleSRT.h"
#include "subtitles/SubtitleText.h"
#include "subtitles/SubtitleVTT.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>

namespace {

QTemporaryDir* workDir = nullptr;

[[noreturn]] void fail(const char* what, const SubtitleItem& a, const SubtitleItem& b) {
    std::fprintf(stderr, "%s: %.3f-%.3f '%s' became %.3f-%.3f '%s'\n", what, a.stime, a.etime, qPrintable(a.text),
                 b.stime, b.etime, qPrintable(b.text));
    std::abort();
}

// Times up to about 3,000 years keep their milliseconds in a double; everything up to there
// must survive a round trip.
bool survivesRoundTrip(const SubtitleItem& item) {
    constexpr double limit = 1e11;
    return item.stime < limit && item.etime < limit;
}

// What the reader makes of a text: its lines trimmed, blank ones left out, joined by "\r\n".
QString asRead(const QString& text) {
    QStringList lines;
    for (const auto line : QStringView(text).split(u'\n'))
        if (!line.trimmed().isEmpty())
            lines.append(line.trimmed().toString());
    return lines.join(QStringLiteral("\r\n"));
}

void checkRoundTrip(const QList<SubtitleItem>& items, const QUrl& url) {
    for (const auto& item : items)
        if (!survivesRoundTrip(item))
            return;
    QFile::remove(url.toLocalFile());
    if (!SubtitleSRT::shared().writeAll(url, items))
        std::abort();
    const auto again = SubtitleSRT::shared().readAll(url);
    if (!again || again->size() != items.size()) {
        std::fprintf(stderr, "round trip: %lld items became %lld\n", static_cast<long long>(items.size()),
                     static_cast<long long>(again ? again->size() : 0));
        std::abort();
    }
    for (qsizetype i = 0; i < items.size(); ++i) {
        const auto& a = items[i];
        const auto& b = (*again)[i];
        if (asRead(a.text) != b.text || std::fabs(a.stime - b.stime) > 0.0006 || std::fabs(a.etime - b.etime) > 0.0006)
            fail("round trip", a, b);
    }
}

// parseTime reads the usual form by hand and the rest with the pattern; both ways must agree.
void checkTimeLine(const QString& line) {
    const auto times = SubtitleSRT::shared().parseTime(line);
    const auto match = SubtitleSRT::Expression::time().match(line);
    if (times.has_value() != match.hasMatch()) {
        std::fprintf(stderr, "parseTime disagrees with the pattern on '%s'\n", qPrintable(line));
        std::abort();
    }
    if (!times)
        return;
    const auto number = [&match](int group) {
        bool ok = false;
        const qint64 value = match.capturedView(group).toLongLong(&ok);
        return ok ? static_cast<double>(value) : 0.0;
    };
    const double start = number(1) * 3600 + number(2) * 60 + number(3) + number(4) * 0.001;
    const double end = number(5) * 3600 + number(6) * 60 + number(7) + number(8) * 0.001;
    if (times->first != start || times->second != end) {
        std::fprintf(stderr, "parseTime gives other times than the pattern on '%s'\n", qPrintable(line));
        std::abort();
    }
}

// The conversion tries only some places; the result must equal one global replacement.
void checkConversion(const QString& text) {
    QString expected = text;
    expected.replace(SubtitleVTT::conversionPattern(), QStringLiteral("\\1.\\2.\\3"));
    if (SubtitleVTT::converted(text) != "WEBVTT\r\n\r\n" + expected.toUtf8()) {
        std::fprintf(stderr, "conversion differs from the global replacement\n");
        std::abort();
    }
}

// The writer's files have an index number above every time line and "\r\n" line ends: their
// WebVTT is exactly what the pattern makes of their text.
void checkWrittenConversion(const QUrl& written) {
    QFile file(written.toLocalFile());
    if (!file.open(QIODevice::ReadOnly))
        std::abort();
    const QByteArray bytes = file.readAll();
    if (SubtitleVTT::fromFile(SubtitleText::fromBytes(bytes)) != SubtitleVTT::converted(QString::fromUtf8(bytes))) {
        std::fprintf(stderr, "the WebVTT of a written file differs from the pattern's\n");
        std::abort();
    }
}

// Texts of any form (blank lines, white space only, lone "\r" and "\n") as cues: the file
// must read back as one item per cue.
void checkAwkwardTexts(const QString& text, const QUrl& url) {
    QList<SubtitleItem> items;
    double at = 0;
    for (const QString& piece : text.split(u'|')) {
        if (piece.contains(QChar(0)))
            return;  // a zero byte ends the line for the reader
        items.append(SubtitleItem(at, at + 1, piece, ItemColor::white, 0));
        at += 2;
    }
    checkRoundTrip(items, url);
    checkWrittenConversion(url);
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    workDir = new QTemporaryDir(QDir::tempPath() + QStringLiteral("/reelnook-fuzz-XXXXXX"));
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const QString srtPath = workDir->filePath(QStringLiteral("in.srt"));
    const QUrl srt = QUrl::fromLocalFile(srtPath);
    {
        QFile file(srtPath);
        if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate))
            std::abort();
        file.write(reinterpret_cast<const char*>(data), static_cast<qint64>(size));
    }
    const SubtitleSRT& reader = SubtitleSRT::shared();
    if (!reader.readInfo(srt))
        std::abort();  // the file exists, so there must be an answer

    const QUrl vtt = QUrl::fromLocalFile(workDir->filePath(QStringLiteral("out.vtt")));
    QFile::remove(vtt.toLocalFile());
    const bool converted = SubtitleVTT::shared().convert(srt, vtt);
    if (converted !=
        !SubtitleText::fromBytes(QByteArray(reinterpret_cast<const char*>(data), qsizetype(size))).isEmpty())
        std::abort();  // written exactly when the file holds more than a byte-order mark

    // Reading the same bytes as one text, line by line through the parsers. The time lines
    // that the fast path reads must give what the pattern gives.
    const QString text = QString::fromUtf8(reinterpret_cast<const char*>(data), static_cast<qsizetype>(size));
    for (const auto line : QStringView(text).split(u'\n')) {
        const QString owned = line.toString();
        checkTimeLine(owned);
        reader.parseDeath(owned);
        reader.parseMark(owned);
    }
    checkConversion(text);

    const QUrl written = QUrl::fromLocalFile(workDir->filePath(QStringLiteral("out.srt")));
    if (const auto items = reader.readAll(srt)) {
        checkRoundTrip(*items, written);
        checkWrittenConversion(written);
    }
    checkAwkwardTexts(text, written);
    return 0;
}
