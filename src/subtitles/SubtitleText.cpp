#include "subtitles/SubtitleText.h"

#include "subtitles/FileInputStream.h"

#include <algorithm>
#include <cstring>

namespace {

// Stateless, so that each line is decoded on its own; a byte-order mark inside the text
// stays a character.
constexpr auto decoderFlags = QStringDecoder::Flag::Stateless | QStringDecoder::Flag::ConvertInitialBom;

// UTF-16 without byte-order mark: the time lines and numbers of a subtitle file are ASCII, so
// at least half the characters of its head have a zero high byte, while UTF-8 text has no
// zero bytes at all. A few zero low bytes (such as U+4E00 or U+0100) are allowed. Absent for
// anything else.
std::optional<QStringDecoder::Encoding> utf16WithoutMark(const QByteArray& bytes) {
    const qsizetype length = std::min<qsizetype>(bytes.size(), 4096) & ~qsizetype(1);
    if (length < 8)
        return std::nullopt;
    qsizetype evenZeros = 0;
    qsizetype oddZeros = 0;
    for (qsizetype i = 0; i < length; i += 2) {
        evenZeros += bytes[i] == 0;
        oddZeros += bytes[i + 1] == 0;
    }
    const qsizetype characters = length / 2;
    if (oddZeros * 2 >= characters && evenZeros * 16 <= oddZeros)
        return QStringDecoder::Utf16LE;
    if (evenZeros * 2 >= characters && oddZeros * 16 <= evenZeros)
        return QStringDecoder::Utf16BE;
    return std::nullopt;
}

// The file's bytes as UTF-8 without byte-order mark.
QByteArray utf8Content(QByteArray bytes) {
    const auto startsWith = [&bytes](const char* mark, qsizetype length) {
        return bytes.size() >= length && std::memcmp(bytes.constData(), mark, size_t(length)) == 0;
    };
    if (startsWith("\xEF\xBB\xBF", 3))
        return bytes.sliced(3);
    const bool littleEndian = startsWith("\xFF\xFE", 2);
    if (littleEndian || startsWith("\xFE\xFF", 2)) {
        QStringDecoder decoder(littleEndian ? QStringDecoder::Utf16LE : QStringDecoder::Utf16BE,
                               QStringDecoder::Flag::Stateless);
        return QString(decoder(QByteArrayView(bytes).sliced(2))).toUtf8();
    }
    if (const auto encoding = utf16WithoutMark(bytes)) {
        QStringDecoder decoder(*encoding, QStringDecoder::Flag::Stateless);
        return QString(decoder(bytes)).toUtf8();
    }
    return bytes;
}

}  // namespace

SubtitleText::SubtitleText(QByteArray utf8)
    : bytes_(std::move(utf8)),
      lineEnd_(bytes_.contains('\n') || !bytes_.contains('\r') ? '\n' : '\r'),
      decoder_(QStringDecoder::Utf8, decoderFlags) {}

std::optional<SubtitleText> SubtitleText::read(const QString& path, QString* refusal) {
    const auto refuse = [refusal](const QString& reason) -> std::optional<SubtitleText> {
        if (refusal)
            *refusal = reason;
        return std::nullopt;
    };
    auto stream = FileInputStream::open(path);
    if (!stream)
        return refuse(QStringLiteral("it cannot be opened or is no regular file"));
    const QString tooLarge = QStringLiteral("it is larger than %1 MB").arg(maxFileSize >> 20);
    if (stream->size() > maxFileSize)
        return refuse(tooLarge);
    // One byte beyond the limit tells a file that has grown past it since it was opened.
    QByteArray bytes = stream->readBytes(maxFileSize + 1).value_or(QByteArray());
    if (bytes.size() > maxFileSize)
        return refuse(tooLarge);
    return fromBytes(std::move(bytes));
}

std::optional<SubtitleText> SubtitleText::readHead(const QString& path, qint64 bytes) {
    auto stream = FileInputStream::open(path);
    if (!stream)
        return std::nullopt;
    return fromBytes(stream->readBytes(bytes).value_or(QByteArray()));
}

SubtitleText SubtitleText::fromBytes(QByteArray bytes) { return SubtitleText(utf8Content(std::move(bytes))); }

bool SubtitleText::nextLine(QString& line) {
    if (at_ >= bytes_.size())
        return false;
    const qsizetype lineEnd = bytes_.indexOf(lineEnd_, at_);
    const qsizetype next = lineEnd < 0 ? bytes_.size() : lineEnd + 1;
    const char* start = bytes_.constData() + at_;
    const auto* zero = static_cast<const char*>(std::memchr(start, 0, size_t(next - at_)));
    const qsizetype length = zero ? zero - start : next - at_;
    zeroBytes_ = zeroBytes_ || zero;
    at_ = next;
    decoder_.resetState();
    // resize() and truncate() keep the storage of an unshared string, so a line that fits
    // what `line` already holds costs no allocation.
    line.resize(decoder_.requiredSpace(length));
    QChar* end = decoder_.appendToBuffer(line.data(), QByteArrayView(start, length));
    line.truncate(end - line.constData());
    illFormed_ = illFormed_ || decoder_.hasError();
    return true;
}

QString SubtitleText::whole() const {
    QStringDecoder decoder(QStringDecoder::Utf8, decoderFlags);
    return decoder(QByteArrayView(bytes_.constData(), qsizetype(::strnlen(bytes_.constData(), size_t(bytes_.size())))));
}
