#pragma once

#include <QByteArray>
#include <QString>
#include <QStringDecoder>
#include <optional>

// The text of a subtitle file as the SRT reader and the WebVTT conversion take it, read whole
// from a regular file (FileInputStream::open refuses anything else, without blocking).
//
// Encodings: a UTF-8 byte-order mark at the start is dropped; a UTF-16 mark (either byte
// order) makes the file UTF-16, and so does a head whose every other byte is zero (UTF-16
// without mark, as ASCII time lines show it); anything else is UTF-8 with ill-formed bytes as
// U+FFFD.
// Line ends: lines end after "\n", so a "\r\n" line keeps its "\r"; a file without any "\n"
// has its lines end after "\r". A line is read whole, however long.
class SubtitleText {
public:
    // Files beyond this size are not read whole: that much text is no subtitle file, and
    // reading it could take all memory.
    static constexpr qint64 maxFileSize = qint64(256) << 20;

    // Absent, with the reason in `refusal` when given, when the file cannot be opened, is no
    // regular file or is larger than `maxFileSize`; an empty file gives an empty text.
    static std::optional<SubtitleText> read(const QString& path, QString* refusal = nullptr);
    // The first `bytes` bytes of the file (or all of a shorter one), whatever its size.
    static std::optional<SubtitleText> readHead(const QString& path, qint64 bytes);
    // The text of a file that holds `bytes`.
    static SubtitleText fromBytes(QByteArray bytes);

    // The next line with its line end into `line` (reusing its storage), cut at a zero byte
    // if it holds one, as a line-based C reader would see it. False after the last line.
    bool nextLine(QString& line);

    // The whole text up to the first zero byte, decoded.
    QString whole() const;

    bool isEmpty() const { return bytes_.isEmpty(); }
    qsizetype size() const { return bytes_.size(); }
    // The byte that ends lines: '\n', or '\r' for a file that has no "\n".
    char lineEnd() const { return lineEnd_; }
    // True once a line given by nextLine() held bytes that are not UTF-8 (shown as U+FFFD).
    bool hadIllFormedBytes() const { return illFormed_; }
    // True once nextLine() cut a line at a zero byte.
    bool hadZeroBytes() const { return zeroBytes_; }

private:
    explicit SubtitleText(QByteArray utf8);

    QByteArray bytes_;  // UTF-8 without byte-order mark
    qsizetype at_ = 0;  // where the next line starts
    char lineEnd_ = '\n';
    bool illFormed_ = false;
    bool zeroBytes_ = false;
    QStringDecoder decoder_;
};
