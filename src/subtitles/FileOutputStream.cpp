#include "subtitles/FileOutputStream.h"

#include <QFile>
#include <utility>

std::optional<FileOutputStream> FileOutputStream::open(const QString& path) {
    if (path.isEmpty())
        return std::nullopt;
    std::FILE* fp = std::fopen(QFile::encodeName(path).constData(), "a+");
    if (!fp)
        return std::nullopt;
    return FileOutputStream(fp);
}

FileOutputStream::FileOutputStream(FileOutputStream&& other) noexcept : fp_(std::exchange(other.fp_, nullptr)) {}

FileOutputStream& FileOutputStream::operator=(FileOutputStream&& other) noexcept {
    if (this != &other) {
        close();
        fp_ = std::exchange(other.fp_, nullptr);
    }
    return *this;
}

FileOutputStream::~FileOutputStream() { close(); }

void FileOutputStream::write(const QString& text) {
    if (text.isEmpty() || !fp_)
        return;
    const QByteArray bytes = text.toUtf8();
    std::fwrite(bytes.constData(), 1, static_cast<size_t>(bytes.size()), fp_);
}

void FileOutputStream::close() {
    if (fp_)
        std::fclose(fp_);
    fp_ = nullptr;
}
