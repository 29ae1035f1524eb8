#pragma once

#include "core/Records.h"

#include <QList>
#include <QRegularExpression>
#include <QString>
#include <QUrl>
#include <optional>
#include <utility>

// Reads and writes SRT files with the annotation lines "Start:", "BID:", "Mark:" and
// "Death: ... (F)/(E)". Stateless; one shared instance.
class SubtitleSRT {
public:
    // The five patterns, each compiled once on first use (thread-safe). `^` anchors at the
    // start of the subject only, `.` stops at "\r" and "\n", `\s` and `\d` take Unicode
    // white space and digits. Match them against a whole cue text or a line.
    struct Expression {
        static const QRegularExpression& start();
        static const QRegularExpression& BID();
        static const QRegularExpression& time();
        static const QRegularExpression& death();
        static const QRegularExpression& mark();
    };

    struct Info {
        std::optional<QString> title;
        std::optional<QString> BID;
    };

    static SubtitleSRT& shared();

    // How much of a file's head readInfo reads: the annotations come first in the files that
    // have them.
    static constexpr qint64 infoHeadBytes = 1 << 20;

    // The first "Start:" title and "BID:" identifier within the file's first `infoHeadBytes`;
    // absent when it cannot be opened.
    std::optional<Info> readInfo(const QUrl& url) const;
    // The cues in file order; absent when the file cannot be opened, is no regular file, is
    // larger than SubtitleText::maxFileSize (then `refusal`, when given, says why) or holds no
    // cue.
    std::optional<QList<SubtitleItem>> readAll(const QUrl& url, QString* refusal = nullptr) const;
    // Writes the items as SRT, atomically, in a form that reads back as the same items; false,
    // with the reason in `error` when given, when the file could not be written. When the
    // file there held lines the reader could not take (a time line it skipped, bytes that are
    // not UTF-8, zero bytes), it is first kept as "<name>.srt.bak", or ".bak2", ".bak3", ...
    // when that is taken: `backupPath`, when given, then receives that path, and stays
    // untouched otherwise. A file that is no regular file or too large to read, a symbolic
    // link (the reason names its target), or a backup that fails, stops the save.
    bool writeAll(const QUrl& url, const QList<SubtitleItem>& items, QString* error = nullptr,
                  QString* backupPath = nullptr) const;

    std::optional<std::pair<double, double>> parseTime(const std::optional<QString>& line) const;
    std::optional<std::pair<QString, QString>> parseDeath(const std::optional<QString>& line) const;  // text, marker
    std::optional<QString> parseMark(const std::optional<QString>& line) const;
    // The colour of a cue by its annotation, the one place that decides it: gray for a
    // "Mark:" note, green for a "Death:" record ending in (F), orange for one ending in (E);
    // absent for any other text.
    std::optional<ItemColor> annotationColor(const QString& text) const;
    std::optional<QString> parseStart(const std::optional<QString>& line) const;
    std::optional<QString> parseBID(const std::optional<QString>& line) const;

    // The SRT file of a movie: the movie's URL with its last extension replaced by "srt".
    static QUrl sidecarURL(const QUrl& movieURL);

private:
    struct Reading {
        QList<SubtitleItem> items;
        bool droppedLines = false;  // lines other than blanks and index numbers were not kept
    };
    std::optional<Reading> read(const QUrl& url, QString* refusal = nullptr) const;
    bool keepUnreadContent(const QUrl& url, QString* error, QString* backupPath) const;
};
