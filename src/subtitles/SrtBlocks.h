#pragma once

#include "subtitles/SubtitleSRT.h"

#include <QString>
#include <QStringView>
#include <utility>

// The block structure of an SRT text, shared by the reader and the WebVTT conversion so that
// both see the same cues. A block is an index line, a time line, then text lines up to a line
// that is blank after trimming (consumed) or the end. Where an index line is expected, blank
// lines are skipped and a time line starts a block of its own, one without index. A block
// whose time line does not match costs its index line and that line; reading goes on with
// the next line where an index line is expected.
//
// `lines.nextLine(QString&)` gives the lines one by one. `visit` hears of:
//   blank(const QString& line)      a blank line: skipped where an index line is expected, or
//                                   the end of a block
//   dropped(const QString& line)    an index line, or a line where a time line did not match
//   timeLine(const QString& line)   the time line of a block
//   cue(pair<double, double> times, QString text)   a block, its text lines trimmed and
//                                   joined with "\r\n"
template <class Lines, class Visitor>
void readSrtBlocks(Lines& lines, Visitor&& visit) {
    const SubtitleSRT& srt = SubtitleSRT::shared();
    QString line;
    QString text;
    bool more = lines.nextLine(line);
    while (more) {
        if (QStringView(line).trimmed().isEmpty()) {
            visit.blank(line);
            more = lines.nextLine(line);
            continue;
        }
        auto times = srt.parseTime(line);
        if (!times) {
            visit.dropped(line);
            if (!lines.nextLine(line))
                break;
            times = srt.parseTime(line);
            if (!times) {
                visit.dropped(line);
                more = lines.nextLine(line);
                continue;
            }
        }
        visit.timeLine(line);
        text.clear();
        while ((more = lines.nextLine(line))) {
            const QStringView trimmed = QStringView(line).trimmed();
            if (trimmed.isEmpty()) {
                visit.blank(line);  // the block's end
                more = lines.nextLine(line);
                break;
            }
            if (!text.isEmpty())
                text += u"\r\n";
            text += trimmed;
        }
        visit.cue(*times, std::exchange(text, QString()));
    }
}
