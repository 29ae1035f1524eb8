#include "subtitles/SubtitleText.h"

#include "subtitles/FileInputStream.h"

#include <cstring>

namespace {

// Stateless, so that each line is decoded on its own; a byte-order mark inside the text
// stays a character.
constexpr auto decoderFlags = QStringDecoder::Flag::Stateless | QStringDecoder::Flag::ConvertInitialBom;

// The file's bytes as UTF-8 without byte-order mark.
QByteArray utf8Content(QByteArray bytes) {
    const auto startsWith = [&bytes](const char* mark, qsizetype length) {
        return bytes.size() >= length && std::memcmp(bytes.constData(), mark, size_t(length)) == 0;
    };
    if (startsWith("\xEF\xBB\xBF", 3))
        return bytes.sliced(3);
    const bool littleEndian = startsWith("\xFF\xFE", 2);
    if (!littleEndian && !startsWith("\xFE\xFF", 2))
        return bytes;
    QStringDecoder decoder(littleEndian ? QStringDecoder::Utf16LE : QStringDecoder::Utf16BE,
                           QStringDecoder::Flag::Stateless);
    const QString text = decoder(QByteArrayView(bytes).sliced(2));
    return text.toUtf8();
}

}  // namespace

SubtitleText::SubtitleText(QByteArray utf8)
    : bytes_(std::move(utf8)),
      lineEnd_(bytes_.contains('\n') || !bytes_.contains('\r') ? '\n' : '\r'),
      decoder_(QStringDecoder::Utf8, decoderFlags) {}

std::optional<SubtitleText> SubtitleText::read(const QString& path) {
    auto stream = FileInputStream::open(path);
    if (!stream)
        return std::nullopt;
    return fromBytes(stream->readBytes().value_or(QByteArray()));
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
