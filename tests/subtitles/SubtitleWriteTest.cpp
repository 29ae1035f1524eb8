#include "core/AppState.h"
#include "subtitles/SubtitleSRT.h"
#include "subtitles/SubtitleVTT.h"

#include "TempFiles.h"

#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>
#include <QDir>
#include <QFile>
#include <QFileInfo>

namespace {

class SubtitleWriteTest : public TempFiles {
protected:
    SubtitleSRT& srt = SubtitleSRT::shared();
    SubtitleVTT& vtt = SubtitleVTT::shared();
};

SubtitleItem item(double stime, double etime, const QString& text) {
    return SubtitleItem(stime, etime, text, ItemColor::gray, 100);
}

// Runs `write` as an unprivileged user when the tests run as root, who may write anywhere.
bool writesWithoutPrivileges(const std::function<bool()>& write) {
    if (::geteuid() != 0)
        return write();
    const pid_t child = ::fork();
    if (child == 0) {
        const bool ok = ::setgid(65534) == 0 && ::setuid(65534) == 0 && write();
        ::_exit(ok ? 0 : 1);
    }
    int status = 0;
    ::waitpid(child, &status, 0);
    return WIFEXITED(status) && WEXITSTATUS(status) == 0;
}

}  // namespace

TEST_F(SubtitleWriteTest, WritesNumberedCrlfBlocks) {
    const QUrl target = url(QStringLiteral("out.srt"));
    ASSERT_TRUE(srt.writeAll(
        target, {item(1.5, 3.25, QStringLiteral("Mark: first\r\nsecond line")),
                 item(62, 64, QString::fromUtf8("caf\u00e9")), item(3725.9996, 3726, QStringLiteral(""))}));
    EXPECT_EQ(contents(target), QByteArray("1\r\n00:00:01,500 --> 00:00:03,250\r\nMark: first\r\nsecond line\r\n\r\n"
                                           "2\r\n00:01:02,000 --> 00:01:04,000\r\ncaf\xc3\xa9\r\n\r\n"
                                           "3\r\n01:02:06,000 --> 01:02:06,000\r\n\r\n"));
}

TEST_F(SubtitleWriteTest, RoundTripGivesTheSameCuesWithNewIds) {
    const QList<SubtitleItem> written = {
        item(0, 0.0005, QStringLiteral("Death: hero (E)\r\n(F)")),
        item(0.9996, 2.001, QStringLiteral("")),
        item(59.999, 61, QString::fromUtf8("\u00a0inner\u3000spaces")),
        item(359999.5, 359999.999, QStringLiteral("late")),
        item(10, 5, QStringLiteral("order as held")),
    };
    const QUrl target = url(QStringLiteral("out.srt"));
    ASSERT_TRUE(srt.writeAll(target, written));
    const auto read = srt.readAll(target);
    ASSERT_TRUE(read);
    ASSERT_EQ(read->size(), written.size());
    for (qsizetype i = 0; i < written.size(); ++i) {
        const auto& a = written[i];
        const auto& b = (*read)[i];
        EXPECT_NEAR(b.stime, a.stime, 0.0005) << i;
        EXPECT_NEAR(b.etime, a.etime, 0.0005) << i;
        // Text lines come back trimmed, so a text with outer white space loses it.
        EXPECT_EQ(b.text, a.text.trimmed()) << i;
        EXPECT_NE(b.id, a.id);
    }
}

// Texts that would put the reader out of step if written as they are: each file must read
// back as one item per written item, with the text the reader makes of it.
TEST_F(SubtitleWriteTest, AwkwardTextsReadBackAsTheSameItems) {
    const struct {
        QString text;
        QString read;
    } cases[] = {
        {QStringLiteral(" "), QStringLiteral("")},
        {QStringLiteral("a\r\n\r\nb"), QStringLiteral("a\r\nb")},
        {QStringLiteral("\r\nleading blank"), QStringLiteral("leading blank")},
        {QStringLiteral("trailing blank\r\n \t\r\n"), QStringLiteral("trailing blank")},
        {QString::fromUtf8("\u3000\u00a0\t"), QStringLiteral("")},
        {QStringLiteral("lone\n\nline feeds"), QStringLiteral("lone\r\nline feeds")},
        {QStringLiteral("a\n \r\nb\rc"), QStringLiteral("a\r\nb\rc")},
        {QStringLiteral("00:00:09,000 --> 00:00:10,000"), QStringLiteral("00:00:09,000 --> 00:00:10,000")},
        {QStringLiteral(""), QStringLiteral("")},
        {QStringLiteral("last"), QStringLiteral("last")},
    };
    QList<SubtitleItem> written;
    for (const auto& c : cases)
        written.append(item(written.size() * 2.0, written.size() * 2.0 + 1, c.text));
    const QUrl target = url(QStringLiteral("out.srt"));
    ASSERT_TRUE(srt.writeAll(target, written));
    const auto read = srt.readAll(target);
    ASSERT_TRUE(read);
    ASSERT_EQ(read->size(), written.size());
    for (qsizetype i = 0; i < read->size(); ++i) {
        EXPECT_DOUBLE_EQ((*read)[i].stime, written[i].stime) << i;
        EXPECT_EQ((*read)[i].text, cases[i].read) << i;
    }
}

// A save over a file the reader could not take whole keeps the old file beside it first;
// files that read whole are simply replaced.
TEST_F(SubtitleWriteTest, SavingOverAFileThatDidNotReadWholeKeepsIt) {
    const QByteArray lossy =
        "1\r\n0:00:01,000 --> 00:00:02,000\r\nskipped\r\n\r\n2\r\n00:00:03,000 --> 00:00:04,000\r\nread\r\n\r\n";
    const QList<SubtitleItem> items = {item(3, 4, QStringLiteral("read")), item(5, 6, QStringLiteral("new"))};
    const struct {
        const char* why;
        QByteArray old;
        bool backedUp;
    } cases[] = {
        {"a time line that does not read", lossy, true},
        {"bytes that are not UTF-8", "1\r\n00:00:01,000 --> 00:00:02,000\r\ncaf\xe9\r\n", true},
        {"text before the first block", "Start: Title\r\n" + lossy.sliced(lossy.indexOf("2\r\n")), true},
        {"a zero byte inside a cue", QByteArray("1\r\n00:00:03,000 --> 00:00:04,000\r\nread\0 cut\r\n", 41), true},
        {"blank lines and no index lines", "\r\n\r\n00:00:03,000 --> 00:00:04,000\nread\n\n\n", false},
        {"the writer's own file", "1\r\n00:00:03,000 --> 00:00:04,000\r\nread\r\n\r\n", false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.why);
        const QUrl target = file(c.old, QStringLiteral("movie.srt"));
        const QString backup = path(QStringLiteral("movie.srt.bak"));
        QFile::remove(backup);
        QString made = QStringLiteral("untouched");
        ASSERT_TRUE(srt.writeAll(target, items, nullptr, &made));
        EXPECT_EQ(made, c.backedUp ? backup : QStringLiteral("untouched"));
        EXPECT_EQ(contents(QUrl::fromLocalFile(backup)), c.backedUp ? c.old : QByteArray());
        EXPECT_EQ(srt.readAll(target)->size(), 2);
    }

    // Every file that would be lost is kept: the next free number, the earlier backups stay.
    QFile::remove(path(QStringLiteral("movie.srt.bak")));
    ASSERT_TRUE(writeFile(path(QStringLiteral("movie.srt.bak")), "original"));
    for (const char* expected : {"movie.srt.bak2", "movie.srt.bak3"}) {
        const QByteArray edited = lossy + expected;
        const QUrl target = file(edited, QStringLiteral("movie.srt"));
        QString made;
        ASSERT_TRUE(srt.writeAll(target, items, nullptr, &made));
        EXPECT_EQ(made, path(QString::fromLatin1(expected)));
        EXPECT_EQ(contents(url(QString::fromLatin1(expected))), edited);
    }
    EXPECT_EQ(contents(url(QStringLiteral("movie.srt.bak"))), "original");
}

// A sidecar that is a symbolic link is not saved through: the link may lead to any file
// (notes, another movie's marks). The reason names the target, which keeps its content.
TEST_F(SubtitleWriteTest, SavingOverALinkIsRefusedNamingItsTarget) {
    const QString notes = path(QStringLiteral("notes.txt"));
    ASSERT_TRUE(writeFile(notes, "my notes"));
    ASSERT_TRUE(QFile::link(notes, path(QStringLiteral("movie.srt"))));
    QString error;
    EXPECT_FALSE(srt.writeAll(url(QStringLiteral("movie.srt")), {item(1, 2, QStringLiteral("Mark: x"))}, &error));
    EXPECT_TRUE(error.contains(notes)) << error.toStdString();
    EXPECT_EQ(contents(QUrl::fromLocalFile(notes)), "my notes");
    EXPECT_TRUE(QFileInfo(path(QStringLiteral("movie.srt"))).isSymLink());
}

TEST_F(SubtitleWriteTest, SavingOverWhatIsNoRegularFileFailsWithoutWaiting) {
    ASSERT_EQ(mkfifo(QFile::encodeName(path(QStringLiteral("pipe.srt"))).constData(), 0600), 0);
    ASSERT_TRUE(QDir(dir.path()).mkdir(QStringLiteral("folder.srt")));
    for (const char* name : {"pipe.srt", "folder.srt"}) {
        EXPECT_FALSE(srt.writeAll(url(QString::fromLatin1(name)), {item(1, 2, QStringLiteral("x"))})) << name;
        EXPECT_FALSE(QFileInfo(path(QString::fromLatin1(name))).isFile()) << name;
    }
}

TEST_F(SubtitleWriteTest, EmptyListWritesEmptyFileWhichHasNoCues) {
    const QUrl target = file("1\r\n00:00:01,000 --> 00:00:02,000\r\nold\r\n\r\n", QStringLiteral("out.srt"));
    ASSERT_TRUE(srt.writeAll(target, {}));
    EXPECT_EQ(contents(target), QByteArray());
    EXPECT_FALSE(srt.readAll(target));
}

TEST_F(SubtitleWriteTest, AnnotationsOutsideCuesAreNotWrittenBack) {
    const QUrl source =
        file("Start: Title\r\nBID: com.example\r\n1\r\n00:00:01,000 --> 00:00:02,000\r\nStart: inside\r\n\r\n");
    const auto items = srt.readAll(source);
    ASSERT_TRUE(items);
    const QUrl target = url(QStringLiteral("out.srt"));
    ASSERT_TRUE(srt.writeAll(target, *items));
    EXPECT_EQ(contents(target), QByteArray("1\r\n00:00:01,000 --> 00:00:02,000\r\nStart: inside\r\n\r\n"));
}

TEST_F(SubtitleWriteTest, FailedWriteLeavesTheOldFileWhole) {
    const QByteArray old = "1\r\n00:00:01,000 --> 00:00:02,000\r\nold\r\n\r\n";
    const QUrl target = file(old, QStringLiteral("sub/out.srt"));
    const QString folder = path(QStringLiteral("sub"));
    // Readable and passable for the unprivileged writer, but not writable.
    QFile::setPermissions(dir.path(),
                          QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner | QFile::ReadOther | QFile::ExeOther);
    QFile::setPermissions(folder, QFile::ReadOwner | QFile::ExeOwner | QFile::ReadOther | QFile::ExeOther);
    QFile::setPermissions(target.toLocalFile(),
                          QFile::ReadOwner | QFile::WriteOwner | QFile::ReadOther | QFile::WriteOther);

    EXPECT_FALSE(writesWithoutPrivileges([&] { return srt.writeAll(target, {item(5, 6, QStringLiteral("new"))}); }));
    EXPECT_FALSE(writesWithoutPrivileges(
        [&] { return vtt.convert(target, QUrl::fromLocalFile(folder + QStringLiteral("/out.vtt"))); }));
    // The same writer succeeds in a folder it may write to, so the refusal above came from
    // the folder's permissions.
    QDir(dir.path()).mkdir(QStringLiteral("open"));
    QFile::setPermissions(path(QStringLiteral("open")), QFile::Permissions(0x7777));
    EXPECT_TRUE(writesWithoutPrivileges(
        [&] { return srt.writeAll(url(QStringLiteral("open/out.srt")), {item(5, 6, QStringLiteral("new"))}); }));

    QFile::setPermissions(folder, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    EXPECT_EQ(contents(target), old);
    EXPECT_FALSE(QFile::exists(folder + QStringLiteral("/out.vtt")));

    EXPECT_FALSE(srt.writeAll(url(QStringLiteral("missing/out.srt")), {item(5, 6, QStringLiteral("new"))}));
}

TEST_F(SubtitleWriteTest, ConvertDropsIndexLinesAndUsesPoints) {
    const QUrl source = url(QStringLiteral("movie.srt"));
    ASSERT_TRUE(srt.writeAll(
        source, {item(1.5, 3.25, QStringLiteral("Death: x (F)")), item(62, 64, QStringLiteral("two\r\nlines"))}));
    const QUrl target = url(QStringLiteral("movie.vtt"));
    ASSERT_TRUE(vtt.convert(source, target));
    EXPECT_EQ(contents(target), QByteArray("WEBVTT\r\n\r\n00:00:01.500 --> 00:00:03.250\r\nDeath: x (F)\r\n\r\n"
                                           "00:01:02.000 --> 00:01:04.000\r\ntwo\r\nlines\r\n\r\n"));
}

TEST_F(SubtitleWriteTest, ConvertKeepsWhatThePatternDoesNotMatch) {
    const struct {
        QByteArray srt;
        QByteArray vtt;
    } cases[] = {
        {"12\r\n00:00:01,000-->00:00:02,000 X1:5\r\n", "00:00:01.000-->00:00:02.000 X1:5\r\n"},
        // Lines the reader drops would stop the player's WebVTT reader: they go.
        {"Start: a\r\n\r\n7\r\n0:00:01,000 --> 00:00:02,000\r\n", ""},
        {"Start: a\r\n\r\n7\r\n00:00:01,000 --> 00:00:02,000\r\n", "00:00:01.000 --> 00:00:02.000\r\n"},
        {"x9\r\n00:00:01,000 --> 00:00:02,000", "x00:00:01.000 --> 00:00:02.000"},
    };
    for (const auto& c : cases) {
        const QUrl target = url(QStringLiteral("movie.vtt"));
        ASSERT_TRUE(vtt.convert(file(c.srt), target));
        EXPECT_EQ(contents(target), "WEBVTT\r\n\r\n" + c.vtt) << c.srt.constData();
    }
}

TEST_F(SubtitleWriteTest, MissingOrEmptySourceLeavesAnEarlierFile) {
    const QUrl target = file("WEBVTT\r\n\r\nearlier", QStringLiteral("movie.vtt"));
    EXPECT_FALSE(vtt.convert(url(QStringLiteral("missing.srt")), target));
    EXPECT_FALSE(vtt.convert(file(""), target));
    EXPECT_EQ(contents(target), QByteArray("WEBVTT\r\n\r\nearlier"));
}

TEST_F(SubtitleWriteTest, CacheURLSharedByMoviesThatDifferOnlyInExtension) {
    const QUrl mp4 = SubtitleVTT::cacheURL(QUrl::fromLocalFile(QStringLiteral("/movies/My Film.v2.mp4")));
    EXPECT_EQ(mp4.toLocalFile(), userCachePath() + QStringLiteral("/My Film.v2.vtt"));
    EXPECT_EQ(SubtitleVTT::cacheURL(QUrl::fromLocalFile(QStringLiteral("/other/My Film.v2.mov"))), mp4);
    EXPECT_EQ(SubtitleSRT::sidecarURL(QUrl::fromLocalFile(QStringLiteral("/m/a.mov"))),
              SubtitleSRT::sidecarURL(QUrl::fromLocalFile(QStringLiteral("/m/a.mp4"))));
}

TEST_F(SubtitleWriteTest, ConversionEqualsOneGlobalReplacement) {
    // The conversion only tries the places where a match can begin; these texts put matches
    // and near-matches where that shortcut could go wrong.
    const char* texts[] = {
        "1\r\n00:00:01,000 --> 00:00:02,000\r\na\r\n\r\n2\r\n00:00:03,000 --> 00:00:04,000\r\n",
        "1\r\n00:00:01,000 --> 00:00:02,000"
        "2\r\n00:00:03,000 --> 00:00:04,000",                       // back to back
        "1\r\n00:00:01,000\r\n-->\r\n 00:00:02,000 tail",           // \s* across lines
        "\u0661\u0662\r\n00:00:01,000\u00a0-->\t00:00:02,000\r\n",  // other digits and spaces
        "\U0001D7CE9\r\n00:00:01,000 --> 00:00:02,000",             // a digit beyond the BMP
        "\uff10\uff11:00:01,000 --> 00:00:02,000\r\n5\r\n\uff10\uff11:00:01,000 --> 00:00:02,000",
        "12\r\n3\r\n00:00:01,000 --> 00:00:02,000",  // only the digits right before the time line go
        "12\r\r\n00:00:01,000 --> 00:00:02,000\r\n\r\n",
        "1\r\n00:00:01,000 -> 00:00:02,000\r\n1\r\n00:00:01,00 --> 00:00:02,000\r\n",
    };
    for (const char* bytes : texts) {
        const QString srt = QString::fromUtf8(bytes);
        QString expected = srt;
        expected.replace(SubtitleVTT::conversionPattern(), QStringLiteral("\\1.\\2.\\3"));
        EXPECT_EQ(QString::fromUtf8(SubtitleVTT::converted(srt)), QStringLiteral("WEBVTT\r\n\r\n") + expected) << bytes;
    }
}
