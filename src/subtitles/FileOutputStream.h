#pragma once

#include <QString>
#include <cstdio>
#include <optional>

// Appends text to a file through stdio ("a+": created when missing), UTF-8, unflushed.
// Movable, not copyable; closes itself when it goes out of scope.
class FileOutputStream {
public:
    // No stream for an empty path or a file that cannot be opened.
    static std::optional<FileOutputStream> open(const QString& path);

    FileOutputStream(FileOutputStream&& other) noexcept;
    FileOutputStream& operator=(FileOutputStream&& other) noexcept;
    FileOutputStream(const FileOutputStream&) = delete;
    FileOutputStream& operator=(const FileOutputStream&) = delete;
    ~FileOutputStream();

    // Appends the UTF-8 bytes of `text`; nothing for an empty text.
    void write(const QString& text);
    FileOutputStream& operator<<(const QString& text) {
        write(text);
        return *this;
    }
    void close();

private:
    explicit FileOutputStream(std::FILE* fp) : fp_(fp) {}
    std::FILE* fp_ = nullptr;
};
