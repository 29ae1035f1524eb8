#include "subtitles/MarkExport.h"

#include "core/TimeFormat.h"
#include "subtitles/AtomicWrite.h"
#include "subtitles/SubtitleSRT.h"
#include "subtitles/SubtitlesLog.h"

#include <algorithm>
#include <cmath>

namespace MarkExport {
namespace {

// The marks among `items`, in time order. The "Start:" and "BID:" lines are the movie's title
// and icon, not marks of a moment: no chapter or row of their own.
QList<SubtitleItem> inTimeOrder(QList<SubtitleItem> items) {
    items.removeIf([](const SubtitleItem& item) {
        return SubtitleSRT::Expression::start().match(item.text).hasMatch() ||
               SubtitleSRT::Expression::BID().match(item.text).hasMatch();
    });
    std::stable_sort(items.begin(), items.end(),
                     [](const SubtitleItem& a, const SubtitleItem& b) { return a.stime < b.stime; });
    return items;
}

qint64 milliseconds(double seconds) { return std::isfinite(seconds) && seconds > 0 ? std::llround(seconds * 1000) : 0; }

// The text on one line: the lines of a cue joined by " ".
QString oneLine(const QString& text) {
    QString joined = text;
    joined.replace(QLatin1String("\r\n"), QLatin1String(" "));
    joined.replace(u'\n', u' ');
    joined.replace(u'\r', u' ');
    return joined;
}

// The mark's whole text, its kind's words included, as the list shows it and the CSV keeps it.
QString chapterTitle(const SubtitleItem& item) { return oneLine(item.text).trimmed(); }

// FFmpeg's metadata files give "=", ";", "#", "\" and a line break a meaning; a backslash
// before any of them makes it part of the value.
QString escapedMetadata(const QString& value) {
    QString escaped;
    escaped.reserve(value.size());
    for (const QChar c : value) {
        if (c == u'=' || c == u';' || c == u'#' || c == u'\\' || c == u'\n')
            escaped.append(u'\\');
        escaped.append(c);
    }
    return escaped;
}

QString secondsText(double seconds) { return QString::number(double(milliseconds(seconds)) / 1000, 'f', 3); }

// A spreadsheet reads a cell that begins with "=", "+", "-" or "@" as a formula (a tab or a
// carriage return first can start one as well): a leading "'" makes it plain text, as
// spreadsheets themselves mark text.
QString neutralised(const QString& field) {
    if (!field.isEmpty() && QStringView(u"=+-@\t\r").contains(field.front()))
        return u'\'' + field;
    return field;
}

QString csvField(const QString& value) {
    const QString field = neutralised(value);
    if (!field.contains(u',') && !field.contains(u'"') && !field.contains(u'\r') && !field.contains(u'\n'))
        return field;
    QString quoted = field;
    quoted.replace(QLatin1String("\""), QLatin1String("\"\""));
    return u'"' + quoted + u'"';
}

}  // namespace

QString suffix(Format format) { return format == Format::csv ? QStringLiteral("csv") : QStringLiteral("txt"); }

QString kind(ItemColor color) {
    switch (color) {
    case ItemColor::gray:
        return QStringLiteral("mark");
    case ItemColor::green:
        return QStringLiteral("death F");
    case ItemColor::orange:
        return QStringLiteral("death E");
    case ItemColor::white:
        break;
    }
    return QStringLiteral("cue");
}

QByteArray ffmetadata(const QList<SubtitleItem>& items, double duration) {
    const QList<SubtitleItem> sorted = inTimeOrder(items);
    QString text = QStringLiteral(";FFMETADATA1\n");
    for (qsizetype i = 0; i < sorted.size(); ++i) {
        const qint64 start = milliseconds(sorted[i].stime);
        const qint64 next = i + 1 < sorted.size() ? milliseconds(sorted[i + 1].stime) : milliseconds(duration);
        const qint64 end = std::max(next, start + 1);
        text += QStringLiteral("\n[CHAPTER]\nTIMEBASE=1/1000\nSTART=%1\nEND=%2\ntitle=%3\n")
                    .arg(start)
                    .arg(end)
                    .arg(escapedMetadata(chapterTitle(sorted[i])));
    }
    return text.toUtf8();
}

QByteArray chapterList(const QList<SubtitleItem>& items, double duration, const QString& introTitle) {
    const QList<SubtitleItem> sorted = inTimeOrder(items);
    if (sorted.isEmpty())
        return {};
    const bool hourLong = duration >= 3600 || sorted.last().stime >= 3600;
    const auto stamp = [hourLong](double seconds) {
        const QString time = formatTime(seconds);
        return hourLong && seconds < 3600 ? QStringLiteral("00:") + time : time;
    };
    QString text;
    if (milliseconds(sorted.first().stime) >= 1000)
        text += stamp(0) + u' ' + oneLine(introTitle).trimmed() + u'\n';
    for (const SubtitleItem& item : sorted)
        text += (stamp(item.stime) + u' ' + chapterTitle(item)).trimmed() + u'\n';
    return text.toUtf8();
}

QByteArray csv(const QList<SubtitleItem>& items) {
    QString text = QStringLiteral("start,end,kind,text\r\n");
    for (const SubtitleItem& item : inTimeOrder(items))
        text +=
            QStringList{secondsText(item.stime), secondsText(item.etime), kind(item.color), csvField(item.text)}.join(
                u',') +
            QLatin1String("\r\n");
    return text.toUtf8();
}

QByteArray bytes(Format format, const QList<SubtitleItem>& items, double duration, const QString& introTitle) {
    switch (format) {
    case Format::ffmetadata:
        return ffmetadata(items, duration);
    case Format::chapterList:
        return chapterList(items, duration, introTitle);
    case Format::csv:
        break;
    }
    return csv(items);
}

bool write(const QString& path, Format format, const QList<SubtitleItem>& items, double duration,
           const QString& introTitle, QString* error) {
    QString reason;
    if (writeAtomically(path, bytes(format, items, duration, introTitle), &reason))
        return true;
    qCWarning(lcSubtitles) << "could not export marks to" << path << ":" << reason;
    if (error)
        *error = reason;
    return false;
}

}  // namespace MarkExport
