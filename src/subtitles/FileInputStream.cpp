#include "subtitles/FileInputStream.h"

#include <QFile>
#include <QStringDecoder>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <sys/stat.h>
#include <utility>

namespace {

// Stateless, so that a sequence cut by the buffer edge never leaks into the next call; the
// byte-order mark stays in the text like any other character.
QStringDecoder utf8Decoder() {
    return QStringDecoder(QStringDecoder::Utf8, QStringDecoder::Flag::Stateless | QStringDecoder::Flag::ConvertInitialBom);
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
    const QByteArray native = QFile::encodeName(path);
    std::FILE* fp = std::fopen(native.constData(), "r");
    struct stat info {};
    const qint64 fileSize = ::stat(native.constData(), &info) == 0 ? static_cast<qint64>(info.st_size) : 0;
    if (!fp)
        return std::nullopt;
    if (fileSize < 0) {
        std::fclose(fp);
        return std::nullopt;
    }
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
    if (fileSize_ > static_cast<qint64>(PTRDIFF_MAX) - capacity || !replaceBuffer(static_cast<qsizetype>(fileSize_) + capacity))
        return std::nullopt;
    const size_t count = std::fread(buf_.get(), 1, static_cast<size_t>(bufSize_), fp_);
    if (count == 0) {
        isEOF_ = true;
        return std::nullopt;
    }
    return decoded(buf_.get(), static_cast<qsizetype>(::strnlen(buf_.get(), count)));
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
