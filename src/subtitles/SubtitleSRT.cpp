#include "subtitles/SubtitleSRT.h"

#include "core/TimeFormat.h"
#include "subtitles/AtomicWrite.h"
#include "subtitles/FileNaming.h"
#include "subtitles/PlainTimeLine.h"
#include "subtitles/SrtBlocks.h"
#include "subtitles/SubtitleText.h"
#include "subtitles/SubtitlesLog.h"

#include <QFile>
#include <QFileInfo>

#include <algorithm>

namespace {

// Unicode properties make `\s` any Unicode white space and `\d` any decimal digit; the
// ANYCRLF newline convention keeps `.` from matching "\r" as well as "\n". Without the
// multiline option `^` anchors at the start of the subject only.
QRegularExpression compiled(const QString& pattern) {
    QRegularExpression expression(QStringLiteral("(*ANYCRLF)") + pattern,
                                  QRegularExpression::UseUnicodePropertiesOption);
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
        QStringLiteral(R"re(^(\d{2,18}):(\d{2}):(\d{2}),(\d{3})\s*--\>\s*(\d{2,18}):(\d{2}):(\d{2}),(\d{3}))re"));
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
    auto text = SubtitleText::readHead(url.toLocalFile(), infoHeadBytes);
    if (!text)
        return std::nullopt;
    Info info;
    QString line;
    while (text->nextLine(line)) {
        if (!info.title)
            info.title = parseStart(line);
        if (!info.BID)
            info.BID = parseBID(line);
        if (info.title && info.BID)
            break;
    }
    return info;
}

std::optional<QList<SubtitleItem>> SubtitleSRT::readAll(const QUrl& url, QString* refusal) const {
    auto reading = read(url, refusal);
    if (!reading || reading->items.isEmpty())
        return std::nullopt;
    return std::move(reading->items);
}

std::optional<SubtitleSRT::Reading> SubtitleSRT::read(const QUrl& url, QString* refusal) const {
    auto source = SubtitleText::read(url.toLocalFile(), refusal);
    if (!source)
        return std::nullopt;
    struct Collect {
        Reading reading;
        // A dropped line that is neither blank nor a number held something no item keeps.
        void dropped(const QString& line) {
            const QStringView trimmed = QStringView(line).trimmed();
            if (!std::all_of(trimmed.begin(), trimmed.end(), [](QChar c) { return c >= u'0' && c <= u'9'; }))
                reading.droppedLines = true;
        }
        void blank(const QString&) {}
        void timeLine(const QString&) {}
        void cue(std::pair<double, double> times, QString text) {
            reading.items.append(SubtitleItem(times.first, times.second, std::move(text), ItemColor::white, 0));
        }
    } collect;
    // A cue takes about 90 bytes in a typical file; reserving spares the list's regrowth.
    collect.reading.items.reserve(qsizetype(std::min<qint64>(source->size() / 128, 1 << 20)));
    readSrtBlocks(*source, collect);
    collect.reading.droppedLines =
        collect.reading.droppedLines || source->hadIllFormedBytes() || source->hadZeroBytes();
    return std::move(collect.reading);
}

bool SubtitleSRT::writeAll(const QUrl& url, const QList<SubtitleItem>& items, QString* error,
                           QString* backupPath) const {
    const QString path = url.toLocalFile();
    if (!keepUnreadContent(url, error, backupPath))
        return false;
    QString content;
    for (qsizetype i = 0; i < items.size(); ++i) {
        const SubtitleItem& item = items[i];
        content += QString::number(i + 1);
        content += u"\r\n";
        content += timeStamp(item.stime);
        content += u" --> ";
        content += timeStamp(item.etime);
        content += u"\r\n";
        // The reader ends lines at "\n" and a block at a line that is blank after trimming:
        // such a line would end the block early and put the reader out of step with the rest
        // of the file, so it is left out, and a text of white space only gets no line at all.
        // The file then reads back as the same items.
        for (QStringView textLine : QStringView(item.text).split(u'\n')) {
            if (textLine.endsWith(u'\r'))
                textLine.chop(1);
            if (textLine.trimmed().isEmpty())
                continue;
            content += textLine;
            content += u"\r\n";
        }
        content += u"\r\n";
    }
    QString reason;
    if (!writeAtomically(path, content.toUtf8(), &reason)) {
        qCWarning(lcSubtitles) << "could not write" << path << reason;
        if (error)
            *error = reason;
        return false;
    }
    return true;
}

// Before a save over a file the reader could not take whole (lines it dropped that were no
// index numbers, such as a time line it could not read, bytes that are not UTF-8 or zero
// bytes), the file is kept beside it under the first free name of "<name>.bak",
// "<name>.bak2", ...: each such file is kept, however often it happens. A link is refused, so
// that a save never replaces a file the link leads to. False when the save must not go ahead.
bool SubtitleSRT::keepUnreadContent(const QUrl& url, QString* error, QString* backupPath) const {
    const auto fail = [error](const QString& reason) {
        if (error)
            *error = reason;
        return false;
    };
    const QString path = url.toLocalFile();
    const QFileInfo target(path);
    if (target.isSymLink()) {
        qCWarning(lcSubtitles) << "not saving over" << path << "which is a link to" << target.symLinkTarget();
        return fail(QStringLiteral("it is a link to %1; marks are saved only into a file of their own, "
                                   "not through a link")
                        .arg(target.symLinkTarget()));
    }
    if (!target.exists())
        return true;
    if (!target.isFile()) {
        qCWarning(lcSubtitles) << "not saving over" << path << "which is no regular file";
        return fail(QStringLiteral("it is not a regular file"));
    }
    QString unreadable;
    const auto reading = read(url, &unreadable);
    if (!reading) {
        qCWarning(lcSubtitles) << "not saving over" << path << "which cannot be read:" << unreadable;
        return fail(QStringLiteral("the file there cannot be read (%1)").arg(unreadable));
    }
    if (!reading->droppedLines)
        return true;
    QString backup = withFittingSuffix(path, QStringLiteral(".bak"));
    for (int number = 2; QFileInfo::exists(backup) || QFileInfo(backup).isSymLink(); ++number)
        backup = withFittingSuffix(path, QStringLiteral(".bak%1").arg(number));
    QFile original(path);
    QString reason;
    if (!original.open(QIODevice::ReadOnly))
        reason = original.errorString();
    else if (const QByteArray bytes = original.readAll(); original.error() != QFile::NoError)
        reason = original.errorString();
    else
        writeAtomically(backup, bytes, &reason);
    if (!reason.isEmpty()) {
        qCWarning(lcSubtitles) << "not saving over" << path << "because it could not be kept as" << backup << reason;
        return fail(QStringLiteral("its earlier content could not be kept as %1: %2").arg(backup, reason));
    }
    qCInfo(lcSubtitles) << "kept" << path << "as" << backup << "before saving over it";
    if (backupPath)
        *backupPath = backup;
    return true;
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
        const qint64 value = match.capturedView(group).toLongLong(&ok);
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

std::optional<ItemColor> SubtitleSRT::annotationColor(const QString& text) const {
    if (parseMark(text))
        return ItemColor::gray;
    if (const auto death = parseDeath(text))
        return death->second == u"(F)" ? ItemColor::green : ItemColor::orange;
    return std::nullopt;
}

std::optional<QString> SubtitleSRT::parseStart(const std::optional<QString>& line) const {
    return firstCapture(Expression::start(), QLatin1StringView("Start:"), line);
}

std::optional<QString> SubtitleSRT::parseBID(const std::optional<QString>& line) const {
    return firstCapture(Expression::BID(), QLatin1StringView("BID:"), line);
}

QUrl SubtitleSRT::sidecarURL(const QUrl& movieURL) { return replacingLastExtension(movieURL, QStringLiteral("srt")); }
