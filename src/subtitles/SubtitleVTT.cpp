#include "subtitles/SubtitleVTT.h"

#include "core/AppState.h"
#include "subtitles/AtomicWrite.h"
#include "subtitles/FileNaming.h"
#include "subtitles/PlainTimeLine.h"
#include "subtitles/SrtBlocks.h"
#include "subtitles/SubtitleText.h"
#include "subtitles/SubtitlesLog.h"

#include <QStringEncoder>

namespace {

// Where the run of decimal digits (Unicode category Nd, as `\d` with Unicode properties)
// that ends at `end` begins, not before `floor`; `end` when there is none. Qt's character
// tables and PCRE2's must agree on Nd here (the same Unicode version); the fuzz target
// compares the conversion with a plain global replacement.
qsizetype digitRunStart(const QString& text, qsizetype end, qsizetype floor) {
    qsizetype start = end;
    while (start > floor) {
        qsizetype previous = start - 1;
        char32_t code = text[previous].unicode();
        if (QChar::isLowSurrogate(code) && previous > floor && text[previous - 1].isHighSurrogate()) {
            --previous;
            code = QChar::surrogateToUcs4(text[previous], text[start - 1]);
        }
        if (!QChar::isDigit(code))
            break;
        start = previous;
    }
    return start;
}

// Collects UTF-8 output in a buffer sized for the worst case up front (three bytes per UTF-16
// code unit); pages that are never written are never touched.
class Utf8Writer {
public:
    explicit Utf8Writer(qsizetype units) : bytes_(units * 3, Qt::Uninitialized), end_(bytes_.data()) {}

    Utf8Writer& operator+=(QStringView text) {
        end_ = encoder_.appendToBuffer(end_, text);
        return *this;
    }
    QByteArray take() {
        bytes_.truncate(end_ - bytes_.constData());
        return std::move(bytes_);
    }

private:
    QByteArray bytes_;
    char* end_;
    QStringEncoder encoder_{QStringEncoder::Utf8, QStringEncoder::Flag::Stateless};
};

}  // namespace

SubtitleVTT& SubtitleVTT::shared() {
    static SubtitleVTT instance;
    return instance;
}

const QRegularExpression& SubtitleVTT::conversionPattern() {
    static const QRegularExpression expression = [] {
        // "\r\n" in the pattern are the two characters themselves: an SRT file with "\n" line
        // ends is copied unchanged. Unicode properties as for the reader's patterns.
        QRegularExpression e(
            QStringLiteral("\\d+\r\n(\\d{2,18}:\\d{2}:\\d{2}),(\\d{3}\\s*-->\\s*\\d{2,18}:\\d{2}:\\d{2}),(\\d{3})"),
            QRegularExpression::UseUnicodePropertiesOption);
        e.optimize();
        return e;
    }();
    return expression;
}

// The same result as replacing every match of the pattern by "$1.$2.$3" in one global
// search, without making the engine try every position of a file of several megabytes: a
// match begins with digits right before a "\r\n", and begins at the first digit of that run
// (the rest of the match does not depend on how many digits precede the "\r\n"). So only
// those places are tried, and the engine runs anchored there only when the time line is not
// in the usual form.
QByteArray SubtitleVTT::converted(const QString& srt) {
    const QStringView header = u"WEBVTT\r\n\r\n";
    const QRegularExpression& pattern = conversionPattern();
    Utf8Writer out(header.size() + srt.size());
    out += header;
    // Each match would otherwise check the whole subject for valid UTF-16 again; check it
    // once. Text from the UTF-8 decoder is always valid; anything else takes the plain way.
    if (!pattern.isValid() || !srt.isValidUtf16()) {
        QString text = srt;
        if (pattern.isValid())
            text.replace(pattern, QStringLiteral("\\1.\\2.\\3"));
        out += text;
        return out.take();
    }
    const QStringView source(srt);
    qsizetype copied = 0;  // source before this index is written; no match may begin before it
    for (qsizetype lineEnd = source.indexOf(u'\r'); lineEnd >= 0; lineEnd = source.indexOf(u'\r', lineEnd + 1)) {
        if (lineEnd + 1 >= source.size() || source[lineEnd + 1] != u'\n')
            continue;
        const qsizetype start = digitRunStart(srt, lineEnd, copied);
        if (start == lineEnd)
            continue;
        // Replaces the index line and the time line by the time line with points.
        const auto replace = [&](QStringView hms1, QStringView middle, QStringView ms2, qsizetype end) {
            out += source.sliced(copied, start - copied);
            out += hms1;
            out += u".";
            out += middle;
            out += u".";
            out += ms2;
            copied = end;
        };
        // The usual time line needs no engine; its captures are the text around the commas.
        const qsizetype timeLine = lineEnd + 2;
        if (const auto plain = PlainTimeLine::read(source, timeLine)) {
            replace(source.sliced(timeLine, plain->startComma - timeLine),
                    source.sliced(plain->startComma + 1, plain->endComma - plain->startComma - 1),
                    source.sliced(plain->endComma + 1, plain->end - plain->endComma - 1), plain->end);
        } else if (const auto match = pattern.match(srt, start, QRegularExpression::NormalMatch,
                                                    QRegularExpression::AnchorAtOffsetMatchOption |
                                                        QRegularExpression::DontCheckSubjectStringMatchOption);
                   match.hasMatch()) {
            replace(match.capturedView(1), match.capturedView(2), match.capturedView(3), match.capturedEnd(0));
        } else {
            continue;
        }
        lineEnd = copied - 1;  // the next "\r\n" may begin right at the end of the match
    }
    out += source.sliced(copied);
    return out.take();
}

namespace {

// The text with "\r\n" line ends where the file had others: each "\n" without a "\r" before
// it gets one, and a file without any "\n" has its "\r" line ends made "\r\n". A lone "\r"
// beside "\n" line ends is no line end for the reader and stays.
QString withCrlfLineEnds(QString text, char lineEnd) {
    if (lineEnd == '\r')
        return text.replace(QStringLiteral("\r"), QStringLiteral("\r\n"));
    qsizetype lone = 0;
    for (qsizetype i = text.indexOf(u'\n'); i >= 0; i = text.indexOf(u'\n', i + 1))
        lone += i == 0 || text[i - 1] != u'\r';
    if (lone == 0)
        return text;
    QString out;
    out.reserve(text.size() + lone);
    for (qsizetype i = 0; i < text.size(); ++i) {
        if (text[i] == u'\n' && (i == 0 || text[i - 1] != u'\r'))
            out += u'\r';
        out += text[i];
    }
    return out;
}

// Lines of a text for readSrtBlocks, remembering where the last one starts.
class TextLines {
public:
    explicit TextLines(QStringView text) : text_(text) {}
    bool nextLine(QString& line) {
        if (next_ >= text_.size())
            return false;
        start_ = next_;
        const qsizetype end = text_.indexOf(u'\n', next_);
        next_ = end < 0 ? text_.size() : end + 1;
        line = text_.sliced(start_, next_ - start_).toString();
        return true;
    }
    qsizetype lineStart() const { return start_; }

private:
    QStringView text_;
    qsizetype start_ = 0;
    qsizetype next_ = 0;
};

// The player's WebVTT reader (FFmpeg's) stops at the first block whose first lines hold no
// time line, and takes a line of white space as text: the text is made to hold only what the
// SRT reader reads. Lines it drops (other than the index line above a time line, which the
// conversion pattern removes or which stands as a cue identifier) go; lines of white space
// are made empty; time lines without an index number above them get their time stamps in
// WebVTT form here, since the pattern leaves them alone. A file the writer made is left
// unchanged by all of this.
QString preparedForPlayer(const QString& source) {
    struct Visit {
        const QString& source;
        TextLines lines;
        QString out;
        qsizetype copied = 0;      // source before this index is in `out`
        qsizetype droppedAt = -1;  // the last dropped line, while it may be an index line
        qsizetype droppedEnd = -1;

        void copyTo(qsizetype end) {
            out += QStringView(source).sliced(copied, end - copied);
            copied = end;
        }
        void removeDropped() {
            if (droppedAt < 0)
                return;
            copyTo(droppedAt);
            copied = droppedEnd;
            droppedAt = -1;
        }
        void blank(const QString& line) {
            const qsizetype at = lines.lineStart();
            const qsizetype end = line.endsWith(u'\n') ? line.size() - 2 : line.size();  // keeps "\r\n"
            if (end > 0) {
                removeDropped();
                copyTo(at);
                copied = at + std::max<qsizetype>(end, 0);
            }
        }
        void dropped(const QString& line) {
            removeDropped();
            droppedAt = lines.lineStart();
            droppedEnd = droppedAt + line.size();
        }
        void timeLine(const QString& line) {
            const qsizetype at = lines.lineStart();
            if (droppedEnd != at)
                removeDropped();
            droppedAt = -1;
            const bool belowNumber = at >= 3 && source[at - 1] == u'\n' && source[at - 2] == u'\r' &&
                                     digitRunStart(source, at - 2, 0) != at - 2;
            if (belowNumber)
                return;
            qsizetype commas[2] = {-1, -1};
            if (const auto plain = PlainTimeLine::read(line)) {
                commas[0] = plain->startComma;
                commas[1] = plain->endComma;
            } else if (const auto match = SubtitleSRT::Expression::time().match(line); match.hasMatch()) {
                commas[0] = match.capturedStart(4) - 1;
                commas[1] = match.capturedStart(8) - 1;
            }
            for (const qsizetype comma : commas) {
                if (comma < 0)
                    continue;
                copyTo(at + comma);
                out += u'.';
                copied = at + comma + 1;
            }
        }
        void cue(std::pair<double, double>, const QString&) {}
    };
    Visit visit{source, TextLines(source), {}};
    readSrtBlocks(visit.lines, visit);
    visit.removeDropped();
    if (visit.copied == 0)
        return source;  // nothing changed: no copy
    visit.copyTo(source.size());
    return visit.out;
}

}  // namespace

QByteArray SubtitleVTT::fromFile(const SubtitleText& srt) {
    return converted(preparedForPlayer(withCrlfLineEnds(srt.whole(), srt.lineEnd())));
}

bool SubtitleVTT::convert(const QUrl& srtURL, const QUrl& vttURL) const {
    const auto srt = SubtitleText::read(srtURL.toLocalFile());
    if (!srt || srt->isEmpty())
        return false;
    QString error;
    if (!writePrivately(vttURL.toLocalFile(), fromFile(*srt), &error)) {
        qCWarning(lcSubtitles) << "could not write" << vttURL.toLocalFile() << ":" << error;
        return false;
    }
    return true;
}

QUrl SubtitleVTT::cacheURL(const QUrl& movieURL) {
    return QUrl::fromLocalFile(userCachePath() + u'/' +
                               replacingLastExtension(movieURL.fileName(), QStringLiteral("vtt")));
}
