#include "subtitles/FileInputStream.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#include <QFile>
#include <QStringDecoder>
#include <algorithm>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <utility>

namespace {

// Stateless, so that a sequence cut by the buffer edge never leaks into the next call; the
// byte-order mark stays in the text like any other character.
QStringDecoder utf8Decoder() {
    return QStringDecoder(QStringDecoder::Utf8,
                          QStringDecoder::Flag::Stateless | QStringDecoder::Flag::ConvertInitialBom);
}

QString decoded(const char* bytes, qsizetype length) {
    auto decoder = utf8Decoder();
    return decoder(QByteArrayView(bytes, length));
}

}  // namespace

void FileInputStream::FreeBuffer::operator()(char* p) const noexcept { std::free(p); }

std::optional<FileInputStream> FileInputStream::open(const QString& path, qsizetype bufferSize) {
    if (path.isEmpty() || bufferSize < 0)
        return std::nullopt;
    // Without O_NONBLOCK, opening a FIFO waits for a writer forever. Only regular files are
    // read: a FIFO, a folder or a device (/dev/zero behind a link) has no end to read to.
    const int fd = ::open(QFile::encodeName(path).constData(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0)
        return std::nullopt;
    struct stat info {};
    if (::fstat(fd, &info) != 0 || !S_ISREG(info.st_mode) || info.st_size < 0) {
        ::close(fd);
        return std::nullopt;
    }
    std::FILE* fp = ::fdopen(fd, "r");
    if (!fp) {
        ::close(fd);
        return std::nullopt;
    }
    const auto fileSize = static_cast<qint64>(info.st_size);
    Buffer buf;
    if (bufferSize > 0) {
        buf.reset(static_cast<char*>(std::calloc(static_cast<size_t>(bufferSize), 1)));
        if (!buf) {
            std::fclose(fp);
            return std::nullopt;
        }
    }
    return FileInputStream(fp, fileSize, std::move(buf), bufferSize);
}

FileInputStream::FileInputStream(std::FILE* fp, qint64 fileSize, Buffer buf, qsizetype bufSize)
    : fp_(fp), fileSize_(fileSize), buf_(std::move(buf)), bufSize_(bufSize) {}

FileInputStream::FileInputStream(FileInputStream&& other) noexcept
    : fp_(std::exchange(other.fp_, nullptr)),
      isEOF_(other.isEOF_),
      fileSize_(other.fileSize_),
      buf_(std::move(other.buf_)),
      bufSize_(std::exchange(other.bufSize_, 0)) {}

FileInputStream& FileInputStream::operator=(FileInputStream&& other) noexcept {
    if (this != &other) {
        close();
        fp_ = std::exchange(other.fp_, nullptr);
        isEOF_ = other.isEOF_;
        fileSize_ = other.fileSize_;
        buf_ = std::move(other.buf_);
        bufSize_ = std::exchange(other.bufSize_, 0);
    }
    return *this;
}

FileInputStream::~FileInputStream() { close(); }

void FileInputStream::close() {
    if (fp_)
        std::fclose(fp_);
    fp_ = nullptr;
    buf_.reset();
    bufSize_ = 0;
}

bool FileInputStream::move(qint64 offset, int whence) {
    if (isEOF_ || !fp_)
        return false;
    return ::fseeko(fp_, static_cast<off_t>(offset), whence) == 0;
}

bool FileInputStream::seek(qint64 offset) { return move(offset, SEEK_CUR); }
bool FileInputStream::seekToStart(qint64 offset) { return move(offset, SEEK_SET); }
bool FileInputStream::seekToEnd(qint64 offset) { return move(offset, SEEK_END); }

qint64 FileInputStream::tell() const {
    if (isEOF_ || !fp_)
        return 0;
    return static_cast<qint64>(::ftello(fp_));
}

// A failed allocation keeps the old buffer, so the stream stays usable.
bool FileInputStream::replaceBuffer(qsizetype size) {
    Buffer fresh(static_cast<char*>(std::calloc(static_cast<size_t>(size), 1)));
    if (!fresh)
        return false;
    buf_ = std::move(fresh);
    bufSize_ = size;
    return true;
}

std::optional<QString> FileInputStream::read(qsizetype size) {
    if (isEOF_ || !fp_)
        return std::nullopt;
    if (size > capacity && !replaceBuffer(size))
        return std::nullopt;
    const size_t count = bufSize_ > 0 ? std::fread(buf_.get(), 1, static_cast<size_t>(bufSize_), fp_) : 0;
    if (count == 0) {
        isEOF_ = true;
        return std::nullopt;
    }
    return decoded(buf_.get(), static_cast<qsizetype>(::strnlen(buf_.get(), count)));
}

bool FileInputStream::readLine(QString& line) {
    // fgets needs room for one byte and the terminator to make progress.
    if (isEOF_ || !fp_ || bufSize_ < 2)
        return false;
    const int room = bufSize_ > INT_MAX ? INT_MAX : static_cast<int>(bufSize_);
    if (!std::fgets(buf_.get(), room, fp_))
        return false;
    const auto length = static_cast<qsizetype>(std::strlen(buf_.get()));
    auto decoder = utf8Decoder();
    // resize() and truncate() keep the storage of an unshared string, so a line that fits
    // what `line` already holds costs no allocation.
    line.resize(decoder.requiredSpace(length));
    QChar* end = decoder.appendToBuffer(line.data(), QByteArrayView(buf_.get(), length));
    line.truncate(end - line.constData());
    return true;
}

std::optional<QString> FileInputStream::readLine() {
    QString line;
    if (!readLine(line))
        return std::nullopt;
    return line;
}

std::optional<QString> FileInputStream::readAll() {
    if (isEOF_ || !fp_)
        return std::nullopt;
    if (fileSize_ > static_cast<qint64>(PTRDIFF_MAX) - capacity ||
        !replaceBuffer(static_cast<qsizetype>(fileSize_) + capacity))
        return std::nullopt;
    const size_t count = std::fread(buf_.get(), 1, static_cast<size_t>(bufSize_), fp_);
    if (count == 0) {
        isEOF_ = true;
        return std::nullopt;
    }
    return decoded(buf_.get(), static_cast<qsizetype>(::strnlen(buf_.get(), count)));
}

std::optional<QByteArray> FileInputStream::readBytes(qint64 limit) {
    if (isEOF_ || !fp_ || limit <= 0)
        return std::nullopt;
    isEOF_ = true;
    limit = std::min<qint64>(limit, PTRDIFF_MAX / 4);
    // The size at opening is where to start: the file may have grown or shrunk since. One byte
    // more than that lets a file of unchanged size finish in a single read.
    QByteArray bytes(static_cast<qsizetype>(std::min<qint64>(fileSize_ + 1, limit)), Qt::Uninitialized);
    qsizetype used = 0;
    for (;;) {
        if (used == bytes.size()) {
            if (used >= limit)
                break;
            bytes.resize(
                static_cast<qsizetype>(std::min<qint64>(bytes.size() + std::max(bytes.size(), capacity), limit)));
        }
        const size_t count = std::fread(bytes.data() + used, 1, static_cast<size_t>(bytes.size() - used), fp_);
        used += static_cast<qsizetype>(count);
        if (count == 0 || used < bytes.size())
            break;
    }
    if (std::ferror(fp_) || used == 0)
        return std::nullopt;
    bytes.truncate(used);
    return bytes;
}

void FileInputStream::skipWhile(char32_t character, qint64 count) {
    if (isEOF_ || !fp_)
        return;
    qint64 seen = 0;
    for (int byte = std::fgetc(fp_); byte != EOF; byte = std::fgetc(fp_)) {
        if (static_cast<char32_t>(byte) == character && ++seen == count)
            return;
    }
    isEOF_ = true;
}
