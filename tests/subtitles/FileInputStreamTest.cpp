#include "subtitles/FileInputStream.h"

#include "TempFiles.h"

namespace {

class FileStreamTest : public TempFiles {
protected:
    QString file(const QByteArray& bytes) {
        return TempFiles::file(bytes, QStringLiteral("file-%1").arg(++files)).toLocalFile();
    }
    FileInputStream open(const QByteArray& bytes) {
        auto stream = FileInputStream::open(file(bytes));
        EXPECT_TRUE(stream);
        return std::move(*stream);
    }

    int files = 0;
};

}  // namespace

TEST_F(FileStreamTest, OpenFailsForEmptyOrMissingPath) {
    EXPECT_FALSE(FileInputStream::open(QString()));
    EXPECT_FALSE(FileInputStream::open(path(QStringLiteral("missing"))));
    EXPECT_FALSE(FileInputStream::open(dir.path() + QStringLiteral("/missing/deeper")));
    auto stream = FileInputStream::open(file("12345"));
    ASSERT_TRUE(stream);
    EXPECT_EQ(stream->size(), 5);
}

TEST_F(FileStreamTest, ReadLineKeepsLineEndsAndNeverSetsEOF) {
    auto stream = open("first\r\nsecond\nlast");
    EXPECT_EQ(stream.readLine(), QStringLiteral("first\r\n"));
    EXPECT_EQ(stream.readLine(), QStringLiteral("second\n"));
    EXPECT_EQ(stream.readLine(), QStringLiteral("last"));
    EXPECT_EQ(stream.readLine(), std::nullopt);
    EXPECT_FALSE(stream.isEOF());
    EXPECT_EQ(stream.tell(), 18);
}

TEST_F(FileStreamTest, LongLineComesInPiecesOfBufferMinusOne) {
    auto stream = open(QByteArray(5000, 'x'));
    EXPECT_EQ(stream.readLine()->size(), 4095);
    EXPECT_EQ(stream.readLine()->size(), 905);
    EXPECT_FALSE(stream.readLine());
}

TEST_F(FileStreamTest, ReadLineReusesTheCallersString) {
    auto stream = open("a fairly long first line\nshort\n");
    QString line;
    ASSERT_TRUE(stream.readLine(line));
    const QChar* storage = line.constData();
    ASSERT_TRUE(stream.readLine(line));
    EXPECT_EQ(line, QStringLiteral("short\n"));
    EXPECT_EQ(line.constData(), storage);
    EXPECT_FALSE(stream.readLine(line));
}

TEST_F(FileStreamTest, DecodesUtf8WithReplacementAndKeepsByteOrderMark) {
    auto stream = open(
        "\xEF\xBB\xBF"
        "caf\xC3\xA9 \xFF\xC3 end\n"
        "\xE2\x82");
    // (QString::fromUtf8 would drop the mark, so the expectation is built by hand.)
    EXPECT_EQ(stream.readLine(), QChar(0xFEFF) + QString::fromUtf8("caf\u00E9 \uFFFD\uFFFD end\n"));
    // Each byte of a cut sequence becomes one replacement character.
    EXPECT_EQ(stream.readLine(), QString::fromUtf8("\uFFFD\uFFFD"));
}

TEST_F(FileStreamTest, ReadAllStopsAtZeroByteAndEmptyFileSetsEOF) {
    auto stream = open(QByteArray("0123456789") + '\0' + QByteArray("abcde"));
    EXPECT_EQ(stream.readAll(), QStringLiteral("0123456789"));
    EXPECT_FALSE(stream.isEOF());
    EXPECT_EQ(stream.readAll(), std::nullopt);  // nothing left
    EXPECT_TRUE(stream.isEOF());

    auto empty = open("");
    EXPECT_EQ(empty.readAll(), std::nullopt);
    EXPECT_TRUE(empty.isEOF());
    EXPECT_EQ(empty.tell(), 0);
    EXPECT_FALSE(empty.seek(0));
    EXPECT_FALSE(empty.seekToStart(0));
    EXPECT_FALSE(empty.seekToEnd(0));
    EXPECT_FALSE(empty.readLine());
    EXPECT_FALSE(empty.read(10));
}

TEST_F(FileStreamTest, ReadAllFromCurrentPositionAndSeeks) {
    auto stream = open("line one\nline two\n");
    EXPECT_TRUE(stream.seekToStart(5));
    EXPECT_EQ(stream.readAll(), QStringLiteral("one\nline two\n"));
    auto other = open("abcdef");
    EXPECT_TRUE(other.seekToEnd(-2));
    EXPECT_EQ(other.tell(), 4);
    EXPECT_TRUE(other.seek(-1));
    EXPECT_EQ(other.readLine(), QStringLiteral("def"));
    EXPECT_FALSE(other.seekToStart(-1));
}

TEST_F(FileStreamTest, ReadFillsTheBufferAndGrowsItBeyondCapacity) {
    const QByteArray bytes(10000, 'y');
    auto stream = open(bytes);
    EXPECT_EQ(stream.read(100)->size(), 4096);  // the buffer, not the request
    EXPECT_EQ(stream.read(5000)->size(), 5000);
    EXPECT_EQ(stream.read(1)->size(), 904);  // the grown buffer stays
    EXPECT_FALSE(stream.read(1));
    EXPECT_TRUE(stream.isEOF());
}

TEST_F(FileStreamTest, SkipWhileConsumesThroughTheCountedByte) {
    auto stream = open("a\nb\nc\nd");
    stream.skipWhile(U'\n', 2);
    EXPECT_EQ(stream.tell(), 4);
    EXPECT_EQ(stream.readLine(), QStringLiteral("c\n"));
    EXPECT_FALSE(stream.isEOF());

    for (auto [character, count] :
         {std::pair(U'\n', qint64(0)), std::pair(U'\u0100', qint64(1)), std::pair(U'x', qint64(1))}) {
        auto rest = open("a\nb\n");
        rest.skipWhile(character, count);
        EXPECT_TRUE(rest.isEOF());
        EXPECT_FALSE(rest.readLine());
    }
}

TEST_F(FileStreamTest, ZeroCapacityReadsNoLines) {
    auto stream = FileInputStream::open(file("abc\n"), 0);
    ASSERT_TRUE(stream);
    EXPECT_FALSE(stream->readLine());
    EXPECT_EQ(stream->readAll(), QStringLiteral("abc\n"));
    EXPECT_FALSE(FileInputStream::open(file("abc\n"), -1));
}

TEST_F(FileStreamTest, VanishedFileStaysReadableThroughTheOpenStream) {
    const QString path = file("one\ntwo\n");
    auto stream = FileInputStream::open(path);
    ASSERT_TRUE(stream);
    EXPECT_EQ(stream->readLine(), QStringLiteral("one\n"));
    ASSERT_TRUE(QFile::remove(path));
    EXPECT_EQ(stream->readLine(), QStringLiteral("two\n"));
    stream->close();
    EXPECT_FALSE(stream->readLine());
    EXPECT_FALSE(stream->readAll());
}
