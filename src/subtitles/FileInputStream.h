#pragma once

#include <QByteArray>
#include <QString>
#include <QtGlobal>
#include <cstdio>
#include <limits>
#include <memory>
#include <optional>

// Reads a file through stdio with one reusable byte buffer: line by line, in sized pieces or
// whole. Text comes back decoded as UTF-8 (ill-formed bytes become U+FFFD, a byte-order mark
// is kept). No operation reports an error: the end of the file or a failure gives an absent
// text, a failed move gives false.
//
// The stream owns its file and buffer; it can be moved, not copied, and closes itself when
// it goes out of scope.
class FileInputStream {
public:
    // The line-buffer size every caller opens with; the size beyond which `read` grows the
    // buffer; the margin `readAll` adds to the file size.
    static constexpr qsizetype capacity = 4096;

    // No stream for an empty path, a file that cannot be opened or is no regular file (FIFO,
    // folder, device; links are followed), or a negative buffer size. Never blocks.
    static std::optional<FileInputStream> open(const QString& path, qsizetype bufferSize = capacity);

    FileInputStream(FileInputStream&& other) noexcept;
    FileInputStream& operator=(FileInputStream&& other) noexcept;
    FileInputStream(const FileInputStream&) = delete;
    FileInputStream& operator=(const FileInputStream&) = delete;
    ~FileInputStream();

    // Size of the file when it was opened; 0 when it could not be queried.
    qint64 size() const { return fileSize_; }
    // Set once a sized read, a whole read or a skip found nothing more; never cleared.
    bool isEOF() const { return isEOF_; }

    // Moves relative to the current position, the start and the end. False at end of file.
    bool seek(qint64 offset);
    bool seekToStart(qint64 offset);
    bool seekToEnd(qint64 offset);
    // The current position; 0 at end of file.
    qint64 tell() const;

    // As many bytes as the buffer holds (grown to `size` first when `size` exceeds
    // `capacity`), up to the first zero byte among them.
    std::optional<QString> read(qsizetype size);
    // The next line with its line end; a line longer than the buffer comes in pieces. The end
    // of the file gives absent without setting isEOF.
    std::optional<QString> readLine();
    // The same into `line`, reusing its storage: once `line` has grown to the longest line,
    // reading allocates nothing. False at the end of the file.
    bool readLine(QString& line);
    // The rest of the file in one allocation and one read, up to the first zero byte.
    std::optional<QString> readAll();
    // The rest of the file as raw bytes, zero bytes included, however long it has grown since
    // it was opened, up to `limit` bytes; absent when nothing is left or reading fails. Sets
    // isEOF.
    std::optional<QByteArray> readBytes(qint64 limit = std::numeric_limits<qint64>::max());
    // Consumes bytes up to and including the `count`-th byte equal to `character`; the rest of
    // the file when there are fewer (or `count` < 1, or `character` > 255).
    void skipWhile(char32_t character, qint64 count);

    // Closes the file and frees the buffer; later reads give absent.
    void close();

private:
    struct FreeBuffer {
        void operator()(char* p) const noexcept;
    };
    using Buffer = std::unique_ptr<char[], FreeBuffer>;

    FileInputStream(std::FILE* fp, qint64 fileSize, Buffer buf, qsizetype bufSize);
    bool move(qint64 offset, int whence);
    bool replaceBuffer(qsizetype size);

    std::FILE* fp_ = nullptr;
    bool isEOF_ = false;
    qint64 fileSize_ = 0;
    Buffer buf_;
    qsizetype bufSize_ = 0;
};
