#include "subtitles/SubtitleSRT.h"

#include "core/TimeFormat.h"
#include "subtitles/AtomicWrite.h"
#include "subtitles/FileInputStream.h"
#include "subtitles/FileNaming.h"
#include "subtitles/PlainTimeLine.h"

#include <algorithm>

namespace {

// Unicode properties make `\s` any Unicode white space and `\d` any decimal digit; the
// ANYCRLF newline convention keeps `.` from matching "\r" as well as "\n". Without the
// multiline option `^` anchors at the start of the subject only.
QRegularExpression compiled(const QString& pattern) {
    QRegularExpression expression(QStringLiteral("(*ANYCRLF)") + pattern, QRegularExpression::UseUnicodePropertiesOption);
    expression.optimize();
    return expression;
}

// Every annotation pattern begins with "^" and a literal word, so a line that does not start
// with the word cannot match; checking that first spares the regex engine most lines.
std::optional<QRegularExpressionMatch> annotationMatch(const QRegularExpression& expression, QLatin1StringView word,
                                                       const QString& line) {
    if (!line.startsWith(word))
        return std::nullopt;
    auto match = expression.match(line);
    if (!match.hasMatch())
        return std::nullopt;
    return match;
}

std::optional<QString> firstCapture(const QRegularExpression& expression, QLatin1StringView word,
                                    const std::optional<QString>& line) {
    if (!line)
        return std::nullopt;
    const auto match = annotationMatch(expression, word, *line);
    if (!match)
        return std::nullopt;
    return match->captured(1);
}

QString timeStamp(double seconds) { return fixedFormatTimeDetail(seconds).replace(u'.', u','); }

}  // namespace

const QRegularExpression& SubtitleSRT::Expression::start() {
    static const QRegularExpression expression = compiled(QStringLiteral(R"re(^Start:\s(.*))re"));
    return expression;
}

const QRegularExpression& SubtitleSRT::Expression::BID() {
    static const QRegularExpression expression = compiled(QStringLiteral(R"re(^BID:\s(.*))re"));
    return expression;
}

const QRegularExpression& SubtitleSRT::Expression::time() {
    static const QRegularExpression expression = compiled(
        QStringLiteral(R"re(^(\d{2}):(\d{2}):(\d{2}),(\d{3})\s*--\>\s*(\d{2}):(\d{2}):(\d{2}),(\d{3}))re"));
    return expression;
}

const QRegularExpression& SubtitleSRT::Expression::death() {
    static const QRegularExpression expression = compiled(QStringLiteral(R"re(^Death:\s(.*)\s*(\(F\)|\(E\)))re"));
    return expression;
}

const QRegularExpression& SubtitleSRT::Expression::mark() {
    static const QRegularExpression expression = compiled(QStringLiteral(R"re(^Mark:\s(.*))re"));
    return expression;
}

SubtitleSRT& SubtitleSRT::shared() {
    static SubtitleSRT instance;
    return instance;
}

std::optional<SubtitleSRT::Info> SubtitleSRT::readInfo(const QUrl& url) const {
    auto stream = FileInputStream::open(url.toLocalFile(), FileInputStream::capacity);
    if (!stream)
        return std::nullopt;
    Info info;
    QString line;
    while (stream->readLine(line)) {
        if (!info.title)
            info.title = parseStart(line);
        if (!info.BID)
            info.BID = parseBID(line);
        if (info.title && info.BID)
            break;
    }
    return info;
}

std::optional<QList<SubtitleItem>> SubtitleSRT::readAll(const QUrl& url) const {
    auto stream = FileInputStream::open(url.toLocalFile(), FileInputStream::capacity);
    if (!stream)
        return std::nullopt;
    QList<SubtitleItem> items;
    // A cue takes about 90 bytes in a typical file; reserving spares the list's regrowth.
    items.reserve(qsizetype(std::min<qint64>(stream->size() / 128, 1 << 20)));
    QString line;
    QString text;
    // Each turn takes an index line and a time line; a block whose time line does not match
    // costs exactly these two lines, and reading goes on with the next line as an index line.
    while (stream->readLine(line)) {
        std::optional<std::pair<double, double>> times;
        if (stream->readLine(line))
            times = parseTime(line);
        if (!times)
            continue;
        text.clear();
        while (stream->readLine(line)) {
            const QStringView trimmed = QStringView(line).trimmed();
            if (trimmed.isEmpty())
                break;
            if (!text.isEmpty())
                text += u"\r\n";
            text += trimmed;
        }
        items.append(SubtitleItem(times->first, times->second, std::move(text), ItemColor::white, 0));
    }
    if (items.isEmpty())
        return std::nullopt;
    return items;
}

bool SubtitleSRT::writeAll(const QUrl& url, const QList<SubtitleItem>& items, QString* error) const {
    QString content;
    for (qsizetype i = 0; i < items.size(); ++i) {
        const SubtitleItem& item = items[i];
        content += QString::number(i + 1);
        content += u"\r\n";
        content += timeStamp(item.stime);
        content += u" --> ";
        content += timeStamp(item.etime);
        content += u"\r\n";
        // An empty text gets no line of its own: an empty text line would end the block early
        // and leave the reader one line out of step for every later block.
        if (!item.text.isEmpty()) {
            content += item.text;
            content += u"\r\n";
        }
        content += u"\r\n";
    }
    return writeAtomically(url.toLocalFile(), content.toUtf8(), error);
}

std::optional<std::pair<double, double>> SubtitleSRT::parseTime(const std::optional<QString>& line) const {
    if (!line)
        return std::nullopt;
    if (const auto plain = PlainTimeLine::read(*line))
        return std::pair(plain->start(), plain->finish());
    const auto match = Expression::time().match(*line);
    if (!match.hasMatch())
        return std::nullopt;
    // A digit the number parser does not read (another script's digit) counts as 0.
    const auto number = [&match](int group) {
        bool ok = false;
        const int value = match.capturedView(group).toInt(&ok);
        return ok ? static_cast<double>(value) : 0.0;
    };
    const double start = number(1) * 3600 + number(2) * 60 + number(3) + number(4) * 0.001;
    const double end = number(5) * 3600 + number(6) * 60 + number(7) + number(8) * 0.001;
    return std::pair(start, end);
}

std::optional<std::pair<QString, QString>> SubtitleSRT::parseDeath(const std::optional<QString>& line) const {
    if (!line)
        return std::nullopt;
    const auto match = annotationMatch(Expression::death(), QLatin1StringView("Death:"), *line);
    if (!match)
        return std::nullopt;
    return std::pair(match->captured(1), match->captured(2));
}

std::optional<QString> SubtitleSRT::parseMark(const std::optional<QString>& line) const {
    return firstCapture(Expression::mark(), QLatin1StringView("Mark:"), line);
}

std::optional<QString> SubtitleSRT::parseStart(const std::optional<QString>& line) const {
    return firstCapture(Expression::start(), QLatin1StringView("Start:"), line);
}

std::optional<QString> SubtitleSRT::parseBID(const std::optional<QString>& line) const {
    return firstCapture(Expression::BID(), QLatin1StringView("BID:"), line);
}

QUrl SubtitleSRT::sidecarURL(const QUrl& movieURL) { return replacingLastExtension(movieURL, QStringLiteral("srt")); }
