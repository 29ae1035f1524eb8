#include "subtitles/SubtitleSRT.h"
#include "subtitles/SubtitleVTT.h"

#include "TempFiles.h"

#include "MpvSubtitles.h"

#include <sys/stat.h>
#include <QDir>
#include <QFileInfo>
#include <QStringEncoder>
#include <QTemporaryDir>

namespace {

class SubtitleSRTTest : public TempFiles {
protected:
    QList<SubtitleItem> items(const QByteArray& bytes) {
        return srt.readAll(file(bytes)).value_or(QList<SubtitleItem>{});
    }

    SubtitleSRT& srt = SubtitleSRT::shared();
};

QByteArray crlf(QByteArray lf) { return lf.replace("\n", "\r\n"); }

const QByteArray twoCues =
    "1\n00:00:01,500 --> 00:00:03,250\n  first line \n\tsecond line\n\n"
    "2\n00:01:02,000 --> 00:01:04,000 X1:10 Y1:20\nMark: note\n\n";

}  // namespace

TEST_F(SubtitleSRTTest, ReadsCuesTrimmedAndJoinedTheSameForLfAndCrlf) {
    for (const QByteArray& bytes : {twoCues, crlf(twoCues)}) {
        const auto cues = items(bytes);
        ASSERT_EQ(cues.size(), 2) << bytes.constData();
        EXPECT_DOUBLE_EQ(cues[0].stime, 1.5);
        EXPECT_DOUBLE_EQ(cues[0].etime, 3.25);
        EXPECT_EQ(cues[0].text, QStringLiteral("first line\r\nsecond line"));
        EXPECT_DOUBLE_EQ(cues[1].stime, 62);
        EXPECT_EQ(cues[1].text, QStringLiteral("Mark: note"));
        for (const auto& cue : cues) {
            EXPECT_EQ(cue.color, ItemColor::white);
            EXPECT_EQ(cue.duration, 0);
        }
        EXPECT_NE(cues[0].id, cues[1].id);
    }
}

TEST_F(SubtitleSRTTest, TrimsUnicodeWhiteSpaceAndEndsBlockAtBlankLine) {
    const auto cues = items(
        "1\r\n00:00:01,000 --> 00:00:02,000\r\n\xe3\x80\x80 wide \xc2\xa0\r\n\xe2\x80\x83\t\r\n"
        "2\r\n00:00:03,000 --> 00:00:04,000\r\nnext\r\n");
    ASSERT_EQ(cues.size(), 2);
    EXPECT_EQ(cues[0].text, QStringLiteral("wide"));  // a line of only Unicode spaces ends the block
    EXPECT_EQ(cues[1].text, QStringLiteral("next"));
}

TEST_F(SubtitleSRTTest, EmptyTextCueAndLastCueWithoutTerminator) {
    const auto cues = items("1\n00:00:01,000 --> 00:00:02,000\n\n2\n00:00:03,000 --> 00:00:04,000\nlast");
    ASSERT_EQ(cues.size(), 2);
    EXPECT_EQ(cues[0].text, QStringLiteral(""));
    EXPECT_EQ(cues[1].text, QStringLiteral("last"));
}

TEST_F(SubtitleSRTTest, BadBlockCostsTwoLinesAndReadingResynchronises) {
    const auto cues = items(
        "1\n0:00:01,000 --> 00:00:02,000\nbad hour\n\n"
        "2\n00:00:05,000 --> 00:00:06,000\ngood\n\n");
    ASSERT_EQ(cues.size(), 1);
    EXPECT_DOUBLE_EQ(cues[0].stime, 5);
    EXPECT_EQ(cues[0].text, QStringLiteral("good"));
}

TEST_F(SubtitleSRTTest, NoCueOrNoFileGivesAbsent) {
    EXPECT_FALSE(srt.readAll(file("")));
    EXPECT_FALSE(srt.readAll(file("just\ntext\nlines\n")));
    EXPECT_FALSE(srt.readAll(url(QStringLiteral("missing.srt"))));
    EXPECT_FALSE(srt.readInfo(url(QStringLiteral("missing.srt"))));
}

TEST_F(SubtitleSRTTest, ParseTime) {
    struct Case {
        const char* line;
        std::optional<std::pair<double, double>> times;
    };
    const Case cases[] = {
        {"00:00:01,500 --> 00:00:03,250", std::pair(1.5, 3.25)},
        {"01:02:03,004-->01:02:04,005\r\n", std::pair(3723.004, 3724.005)},
        {"00:61:00,000 --> 00:00:00,000 trailing text", std::pair(3660.0, 0.0)},
        {"00:00:01,000 \u3000--> 00:00:02,000", std::pair(1.0, 2.0)},        // Unicode space in \s*
        {"100:00:00,000 --> 111:06:40,000", std::pair(360000.0, 400000.0)},  // as players read them
        {"99:99:99,999 --> 000000000001:00:00,000", std::pair(362439.999, 3600.0)},
        {"123456789012345678:00:00,000 --> 00:00:00,000", std::pair(123456789012345678.0 * 3600, 0.0)},
        {"1234567890123456789:00:00,000 --> 00:00:00,000", std::nullopt},  // beyond 64 bits
        {"0:00:01,000 --> 00:00:02,000", std::nullopt},                    // one-digit hour
        {"00:00:01,00 --> 00:00:02,000", std::nullopt},                    // two-digit milliseconds
        {"00:00:01.000 --> 00:00:02.000", std::nullopt},                   // WebVTT points
        {" 00:00:01,000 --> 00:00:02,000", std::nullopt},                  // not at the very start
        {"00:00:01,000 -> 00:00:02,000", std::nullopt},
        {"00:00:01,000 --\\> 00:00:02,000", std::nullopt},   // `\>` is a literal ">"
        {"x\n00:00:01,000 --> 00:00:02,000", std::nullopt},  // `^` only at the start
    };
    for (const Case& c : cases) {
        const auto times = srt.parseTime(QString::fromUtf8(c.line));
        ASSERT_EQ(times.has_value(), c.times.has_value()) << c.line;
        if (times) {
            EXPECT_DOUBLE_EQ(times->first, c.times->first) << c.line;
            EXPECT_DOUBLE_EQ(times->second, c.times->second) << c.line;
        }
    }
    EXPECT_FALSE(srt.parseTime(std::nullopt));
}

// Times of 100 hours and more, and a time line typed as "99:99:99,999", are written so that
// they read back, in the file and in the player's WebVTT.
TEST_F(SubtitleSRTTest, LongTimesRoundTrip) {
    const QUrl typed = file("1\r\n99:99:99,999 --> 99:99:99,999\r\nMark: typed\r\n\r\n");
    const auto read = srt.readAll(typed);
    ASSERT_TRUE(read && read->size() == 1);
    QList<SubtitleItem> items = *read;
    for (const double seconds : {359999.999, 360000.0, 400000.0, 3.6e9 + 0.5})
        items.append(SubtitleItem(seconds, seconds, QStringLiteral("Mark: late"), ItemColor::gray, 0));
    const QUrl target = url(QStringLiteral("out.srt"));
    ASSERT_TRUE(srt.writeAll(target, items));
    EXPECT_TRUE(contents(target).contains("\r\n100:40:39,999 --> 100:40:39,999\r\n"));
    const auto back = srt.readAll(target);
    ASSERT_TRUE(back);
    ASSERT_EQ(back->size(), items.size());
    for (qsizetype i = 0; i < items.size(); ++i)
        EXPECT_NEAR((*back)[i].stime, items[i].stime, 0.0005) << i;
    const QUrl vtt = url(QStringLiteral("out.vtt"));
    ASSERT_TRUE(SubtitleVTT::shared().convert(target, vtt));
    EXPECT_TRUE(contents(vtt).contains("\r\n100:40:39.999 --> 100:40:39.999\r\n"));
}

TEST_F(SubtitleSRTTest, DigitsOfOtherScriptsMatchButCountAsZero) {
    // \d is any decimal digit, as with the platform's Unicode-aware patterns; the number
    // reader only reads ASCII digits.
    const auto times = srt.parseTime(QString::fromUtf8("\u0661\u0662:00:01,000 --> 00:00:02,000"));
    ASSERT_TRUE(times);
    EXPECT_DOUBLE_EQ(times->first, 1.0);
}

TEST_F(SubtitleSRTTest, ParseDeathMarkerChoice) {
    struct Case {
        const char* line;
        std::optional<std::pair<QString, QString>> death;
    };
    const Case cases[] = {
        {"Death: hero (F)", std::pair(QStringLiteral("hero "), QStringLiteral("(F)"))},
        {"Death: hero(E)", std::pair(QStringLiteral("hero"), QStringLiteral("(E)"))},
        {"Death: (F)", std::pair(QStringLiteral(""), QStringLiteral("(F)"))},
        {"Death:(F)", std::nullopt},
        {"Death: no marker", std::nullopt},
        {"death: hero (F)", std::nullopt},
        // The last marker of the first line wins and the text keeps the earlier one.
        {"Death: a (E) b (F)", std::pair(QStringLiteral("a (E) b "), QStringLiteral("(F)"))},
        // A marker at the start of the next line wins over one on the first line.
        {"Death: a (E) b\r\n(F) more", std::pair(QStringLiteral("a (E) b"), QStringLiteral("(F)"))},
        {"Death: a (E)\n  \t(F)", std::pair(QStringLiteral("a (E)"), QStringLiteral("(F)"))},
        {"Death: a (E)\rx (F)", std::pair(QStringLiteral("a "), QStringLiteral("(E)"))},  // "\r" ends the line for `.`
        {"Death: a\r\nx (F)", std::nullopt},
        {"Death:\u00a0a (E)", std::pair(QStringLiteral("a "), QStringLiteral("(E)"))},  // no-break space is \s
        {"Death:\r\n(F)", std::pair(QStringLiteral(""), QStringLiteral("(F)"))},
    };
    for (const Case& c : cases) {
        const auto death = srt.parseDeath(QString::fromUtf8(c.line));
        ASSERT_EQ(death.has_value(), c.death.has_value()) << c.line;
        if (death) {
            EXPECT_EQ(*death, *c.death) << c.line;
        }
    }
    EXPECT_FALSE(srt.parseDeath(std::nullopt));
}

TEST_F(SubtitleSRTTest, ParseAnnotationCapturesUntrimmedValueOfFirstLine) {
    struct Case {
        const char* line;
        std::optional<QString> value;
    };
    const Case cases[] = {
        {"Start: My Title", QStringLiteral("My Title")},
        {"Start:  two spaces ", QStringLiteral(" two spaces ")},
        {"Start:Tight", std::nullopt},
        {"Start:\r\n", QStringLiteral("")},  // \s takes the line break, `.` nothing
        {"Start:\n", QStringLiteral("")},
        {"Start: a\rb", QStringLiteral("a")},
        {"Start:\u2003em space", QStringLiteral("em space")},
        {" Start: indented", std::nullopt},
        {"x\nStart: second line", std::nullopt},
        {"Start:", std::nullopt},
    };
    for (const Case& c : cases)
        EXPECT_EQ(srt.parseStart(QString::fromUtf8(c.line)), c.value) << c.line;
    EXPECT_EQ(srt.parseBID(QStringLiteral("BID: com.example.app\r\n")), QStringLiteral("com.example.app"));
    EXPECT_EQ(srt.parseMark(QStringLiteral("Mark: here\r\nMark: there")), QStringLiteral("here"));
    EXPECT_FALSE(srt.parseMark(QStringLiteral("Mark:")));
    EXPECT_FALSE(srt.parseBID(std::nullopt));
}

TEST_F(SubtitleSRTTest, ReadInfoTakesFirstOfEachAndStopsWhenBothFound) {
    const auto info =
        srt.readInfo(file("1\r\n00:00:01,000 --> 00:00:02,000\r\nStart: The Title \r\n\r\n"
                          "2\r\n00:00:03,000 --> 00:00:04,000\r\nStart: Second\r\nBID: com.example.app\r\n\r\n"
                          "\xff\xfe binary after both were found \x00\x01"));
    ASSERT_TRUE(info);
    EXPECT_EQ(info->title, QStringLiteral("The Title "));
    EXPECT_EQ(info->BID, QStringLiteral("com.example.app"));

    const auto none = srt.readInfo(file("1\n00:00:01,000 --> 00:00:02,000\nStart:NoSpace\n"));
    ASSERT_TRUE(none);
    EXPECT_FALSE(none->title);
    EXPECT_FALSE(none->BID);

    const auto empty = srt.readInfo(file("Start:\nBID:  spaced\n"));
    ASSERT_TRUE(empty);
    EXPECT_EQ(empty->title, QStringLiteral(""));
    EXPECT_EQ(empty->BID, QStringLiteral(" spaced"));
}

TEST_F(SubtitleSRTTest, SidecarURLReplacesLastExtension) {
    const struct {
        const char* movie;
        const char* sidecar;
    } cases[] = {
        {"/m/film.mp4", "/m/film.srt"},
        {"/m/film.MOV", "/m/film.srt"},
        {"/m/a.b.c.mp4", "/m/a.b.c.srt"},
        {"/m/noext", "/m/noext.srt"},
        {"/m/.hidden", "/m/.hidden.srt"},
        {"/m.dir/film", "/m.dir/film.srt"},
        {"/m/with space #1.mp4", "/m/with space #1.srt"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(SubtitleSRT::sidecarURL(QUrl::fromLocalFile(QString::fromUtf8(c.movie))).toLocalFile(),
                  QString::fromUtf8(c.sidecar))
            << c.movie;
}

TEST_F(SubtitleSRTTest, GarbageBeforeAGoodBlockIsSkipped) {
    QByteArray garbage = "\xEF\xBB\xBF";
    for (int i = 0; i < 3000; ++i)
        garbage += static_cast<char>(i * 7 % 256 == '\n' ? 0 : i * 7 % 256);
    const QUrl url = file(garbage + "\nStart: late\n1\n00:00:07,000 --> 00:00:08,000\nBID: inside\n");
    const auto cues = srt.readAll(url);
    ASSERT_TRUE(cues);
    ASSERT_EQ(cues->size(), 1);
    EXPECT_DOUBLE_EQ(cues->first().stime, 7);
    EXPECT_EQ(cues->first().text, QStringLiteral("BID: inside"));
    const auto info = srt.readInfo(url);
    ASSERT_TRUE(info);
    EXPECT_EQ(info->title, QStringLiteral("late"));
    EXPECT_EQ(info->BID, QStringLiteral("inside"));
}

TEST_F(SubtitleSRTTest, FiftyMegabyteLineIsReadWhole) {
    const QUrl url = file(QByteArray(50 << 20, 'z') + "\n1\n00:00:01,000 --> 00:00:02,000\nend\n");
    const auto info = srt.readInfo(url);
    ASSERT_TRUE(info);
    EXPECT_FALSE(info->title);
    const auto cues = srt.readAll(url);
    ASSERT_TRUE(cues);
    ASSERT_EQ(cues->size(), 1);
    EXPECT_EQ(cues->first().text, QStringLiteral("end"));
    const QUrl target = this->url(QStringLiteral("big.vtt"));
    ASSERT_TRUE(SubtitleVTT::shared().convert(url, target));
    // The line the reader drops is no block of the WebVTT either.
    EXPECT_EQ(contents(target), "WEBVTT\r\n\r\n00:00:01.000 --> 00:00:02.000\r\nend\r\n");
}

namespace {

QByteArray utf16(const QByteArray& utf8, bool littleEndian) {
    QStringEncoder encoder(littleEndian ? QStringEncoder::Utf16LE : QStringEncoder::Utf16BE,
                           QStringEncoder::Flag::WriteBom);
    return encoder(QString::fromUtf8(utf8));
}

const QByteArray twoCrlfCues =
    "1\r\n00:00:01,000 --> 00:00:02,000\r\nfirst\r\n\r\n2\r\n00:00:03,000 --> 00:00:04,000\r\nsecond\r\n\r\n";

}  // namespace

// SRT files as other tools and people leave them: every cue is read, and the WebVTT made from
// the file shows each cue in mpv at its time.
TEST_F(SubtitleSRTTest, EveryCommonSrtFormReadsWholeAndShowsInThePlayer) {
    const QString longMark = QStringLiteral("Mark: ") + QString(3000, QChar(0xE9));
    const struct {
        const char* form;
        QByteArray bytes;
        QList<std::pair<double, QString>> cues;
    } cases[] = {
        {"blank lines between blocks",
         "1\r\n00:00:01,000 --> 00:00:02,000\r\nfirst\r\n\r\n\r\n \t\r\n\r\n2\r\n00:00:03,000 --> "
         "00:00:04,000\r\nsecond\r\n\r\n",
         {{1, QStringLiteral("first")}, {3, QStringLiteral("second")}}},
        {"blank lines with \\n line ends",
         "\n\n1\n00:00:01,000 --> 00:00:02,000\nfirst\n\n\n2\n00:00:03,000 --> 00:00:04,000\nsecond\n",
         {{1, QStringLiteral("first")}, {3, QStringLiteral("second")}}},
        {"blocks without index",
         "00:00:01,000 --> 00:00:02,000\nfirst\n\n00:00:03,000 --> 00:00:04,000\nsecond\n\n",
         {{1, QStringLiteral("first")}, {3, QStringLiteral("second")}}},
        {"an index apart from its time line and one lost block between",
         "1\r\n\r\n00:00:01,000 --> 00:00:02,000\r\nfirst\r\n\r\n2\r\n0:00:02,000 --> 00:00:03,000\r\nlost\r\n\r\n"
         "3\r\n00:00:03,000 --> 00:00:04,000\r\nsecond\r\n",
         {{1, QStringLiteral("first")}, {3, QStringLiteral("second")}}},
        {"UTF-8 byte-order mark",
         "\xEF\xBB\xBF" + twoCrlfCues,
         {{1, QStringLiteral("first")}, {3, QStringLiteral("second")}}},
        {"UTF-8 byte-order mark before a time line",
         "\xEF\xBB\xBF"
         "00:00:01,000 --> 00:00:02,000\r\nfirst\r\n\r\n2\r\n00:00:03,000 --> 00:00:04,000\r\nsecond\r\n",
         {{1, QStringLiteral("first")}, {3, QStringLiteral("second")}}},
        {"UTF-16 little endian",
         utf16(twoCrlfCues, true),
         {{1, QStringLiteral("first")}, {3, QStringLiteral("second")}}},
        {"UTF-16 big endian",
         utf16(QByteArray(twoCrlfCues).replace("first", "caf\xC3\xA9"), false),
         {{1, QString::fromUtf8("caf\u00e9")}, {3, QStringLiteral("second")}}},
        {"UTF-16 little endian without byte-order mark",
         utf16(twoCrlfCues, true).sliced(2),
         {{1, QStringLiteral("first")}, {3, QStringLiteral("second")}}},
        {"UTF-16 big endian without byte-order mark",
         utf16(QByteArray(twoCrlfCues).replace("first", "\xE6\xBC\xA2\xE4\xB8\x80"), false).sliced(2),
         {{1, QString::fromUtf8("\u6f22\u4e00")}, {3, QStringLiteral("second")}}},
        {"\\r line ends",
         QByteArray(twoCrlfCues).replace("\r\n", "\r"),
         {{1, QStringLiteral("first")}, {3, QStringLiteral("second")}}},
        {"a line of 3,000 two-byte characters",
         "1\r\n00:00:01,000 --> 00:00:02,000\r\n" + longMark.toUtf8() +
             "\r\n\r\n2\r\n00:00:03,000 --> 00:00:04,000\r\nsecond\r\n",
         {{1, longMark}, {3, QStringLiteral("second")}}},
    };
    QTemporaryDir clips;
    const QString clip = clips.filePath(QStringLiteral("clip.mp4"));
    ASSERT_TRUE(makeClip(clip, {.seconds = 5.0, .audio = false}));
    MpvSubtitles player(clip);
    ASSERT_TRUE(player.isReady());
    for (const auto& c : cases) {
        SCOPED_TRACE(c.form);
        const QUrl source = file(c.bytes);
        const auto cues = items(c.bytes);
        ASSERT_EQ(cues.size(), c.cues.size());
        const QUrl vtt = url(QStringLiteral("movie.vtt"));
        ASSERT_TRUE(SubtitleVTT::shared().convert(source, vtt));
        SCOPED_TRACE(contents(vtt).left(200).toStdString());
        for (qsizetype i = 0; i < cues.size(); ++i) {
            EXPECT_DOUBLE_EQ(cues[i].stime, c.cues[i].first);
            EXPECT_EQ(cues[i].text, c.cues[i].second);
            const QString& shown = c.cues[i].second;
            if (shown.size() < 1000) {
                EXPECT_EQ(player.textAt(vtt.toLocalFile(), c.cues[i].first + 0.5, shown), shown);
            } else {
                // The player's WebVTT reader cuts lines at about 4 KB; the cue shows all the same.
                const auto text = player.textAt(vtt.toLocalFile(), c.cues[i].first + 0.5, [](const QString& t) {
                    return t.startsWith(QStringLiteral("Mark: "));
                });
                EXPECT_TRUE(text && text->startsWith(QStringLiteral("Mark: \u00e9\u00e9\u00e9")));
            }
        }
        EXPECT_EQ(player.textAt(vtt.toLocalFile(), 2.5, QString()), QString());  // between the cues
    }
}

TEST_F(SubtitleSRTTest, ReadInfoAfterAByteOrderMarkAndInUtf16) {
    for (const QByteArray& bytes :
         {QByteArray("\xEF\xBB\xBFStart: Title\r\nBID: org.example\r\n"),
          utf16("Start: Title\r\nBID: org.example\r\n", true), QByteArray("Start: Title\rBID: org.example\r")}) {
        const auto info = srt.readInfo(file(bytes));
        ASSERT_TRUE(info);
        EXPECT_EQ(info->title, QStringLiteral("Title"));
        EXPECT_EQ(info->BID, QStringLiteral("org.example"));
    }
}

// A huge sidecar (sparse, 100 GB) is not read whole: its cues are refused with the reason,
// its title still comes from its head, and no save goes over it.
TEST_F(SubtitleSRTTest, HugeSidecarsAreRefusedButTheirTitleReads) {
    const QUrl huge = file("Start: Title\r\nBID: org.example\r\n1\r\n00:00:01,000 --> 00:00:02,000\r\nx\r\n\r\n");
    ASSERT_TRUE(QFile::resize(huge.toLocalFile(), qint64(100) << 30));
    QString refusal;
    EXPECT_FALSE(srt.readAll(huge, &refusal));
    EXPECT_EQ(refusal, QStringLiteral("it is larger than 256 MB"));
    const auto info = srt.readInfo(huge);
    ASSERT_TRUE(info);
    EXPECT_EQ(info->title, QStringLiteral("Title"));
    QString error;
    EXPECT_FALSE(srt.writeAll(huge, {}, &error));
    EXPECT_TRUE(error.contains(refusal)) << error.toStdString();
    EXPECT_EQ(QFileInfo(huge.toLocalFile()).size(), qint64(100) << 30);
    EXPECT_FALSE(SubtitleVTT::shared().convert(huge, url(QStringLiteral("out.vtt"))));
}

// Named like a sidecar but no regular file: no cues, no info, no WebVTT, and nothing waits
// (a FIFO without writer would block an open, /dev/zero would never end).
TEST_F(SubtitleSRTTest, SidecarsThatAreNoRegularFilesCountAsNone) {
    ASSERT_EQ(mkfifo(QFile::encodeName(path(QStringLiteral("pipe.srt"))).constData(), 0600), 0);
    ASSERT_TRUE(QDir(dir.path()).mkdir(QStringLiteral("folder.srt")));
    ASSERT_TRUE(QFile::link(QStringLiteral("/dev/zero"), path(QStringLiteral("zero.srt"))));
    ASSERT_TRUE(QFile::link(QStringLiteral("/dev/null"), path(QStringLiteral("null.srt"))));
    for (const char* name : {"pipe.srt", "folder.srt", "zero.srt", "null.srt"}) {
        SCOPED_TRACE(name);
        EXPECT_FALSE(srt.readAll(url(QString::fromLatin1(name))));
        EXPECT_FALSE(srt.readInfo(url(QString::fromLatin1(name))));
        EXPECT_FALSE(SubtitleVTT::shared().convert(url(QString::fromLatin1(name)), url(QStringLiteral("out.vtt"))));
        EXPECT_FALSE(QFile::exists(path(QStringLiteral("out.vtt"))));
    }
}
