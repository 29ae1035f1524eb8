#include "subtitles/SubtitleSRT.h"
#include "subtitles/SubtitleVTT.h"

#include "TempFiles.h"

#include <QFileInfo>

namespace {

class SubtitleSRTTest : public TempFiles {
protected:
    QList<SubtitleItem> items(const QByteArray& bytes) { return srt.readAll(file(bytes)).value_or(QList<SubtitleItem>{}); }

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
        EXPECT_EQ(cues[0].text, "first line\r\nsecond line");
        EXPECT_DOUBLE_EQ(cues[1].stime, 62);
        EXPECT_EQ(cues[1].text, "Mark: note");
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
    EXPECT_EQ(cues[0].text, "wide");  // a line of only Unicode spaces ends the block
    EXPECT_EQ(cues[1].text, "next");
}

TEST_F(SubtitleSRTTest, EmptyTextCueAndLastCueWithoutTerminator) {
    const auto cues = items("1\n00:00:01,000 --> 00:00:02,000\n\n2\n00:00:03,000 --> 00:00:04,000\nlast");
    ASSERT_EQ(cues.size(), 2);
    EXPECT_EQ(cues[0].text, "");
    EXPECT_EQ(cues[1].text, "last");
}

TEST_F(SubtitleSRTTest, BadBlockCostsTwoLinesAndReadingResynchronises) {
    const auto cues = items(
        "1\n0:00:01,000 --> 00:00:02,000\nbad hour\n\n"
        "2\n00:00:05,000 --> 00:00:06,000\ngood\n\n");
    ASSERT_EQ(cues.size(), 1);
    EXPECT_DOUBLE_EQ(cues[0].stime, 5);
    EXPECT_EQ(cues[0].text, "good");
}

TEST_F(SubtitleSRTTest, NoCueOrNoFileGivesAbsent) {
    EXPECT_FALSE(srt.readAll(file("")));
    EXPECT_FALSE(srt.readAll(file("just\ntext\nlines\n")));
    EXPECT_FALSE(srt.readAll(url("missing.srt")));
    EXPECT_FALSE(srt.readInfo(url("missing.srt")));
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
        {"00:00:01,000 \u3000--> 00:00:02,000", std::pair(1.0, 2.0)},  // Unicode space in \s*
        {"0:00:01,000 --> 00:00:02,000", std::nullopt},                // one-digit hour
        {"00:00:01,00 --> 00:00:02,000", std::nullopt},                // two-digit milliseconds
        {"00:00:01.000 --> 00:00:02.000", std::nullopt},               // WebVTT points
        {" 00:00:01,000 --> 00:00:02,000", std::nullopt},              // not at the very start
        {"00:00:01,000 -> 00:00:02,000", std::nullopt},
        {"00:00:01,000 --\\> 00:00:02,000", std::nullopt},  // `\>` is a literal ">"
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
        {"Death: hero (F)", std::pair(QString("hero "), QString("(F)"))},
        {"Death: hero(E)", std::pair(QString("hero"), QString("(E)"))},
        {"Death: (F)", std::pair(QString(""), QString("(F)"))},
        {"Death:(F)", std::nullopt},
        {"Death: no marker", std::nullopt},
        {"death: hero (F)", std::nullopt},
        // The last marker of the first line wins and the text keeps the earlier one.
        {"Death: a (E) b (F)", std::pair(QString("a (E) b "), QString("(F)"))},
        // A marker at the start of the next line wins over one on the first line.
        {"Death: a (E) b\r\n(F) more", std::pair(QString("a (E) b"), QString("(F)"))},
        {"Death: a (E)\n  \t(F)", std::pair(QString("a (E)"), QString("(F)"))},
        {"Death: a (E)\rx (F)", std::pair(QString("a "), QString("(E)"))},  // "\r" ends the line for `.`
        {"Death: a\r\nx (F)", std::nullopt},
        {"Death:\u00a0a (E)", std::pair(QString("a "), QString("(E)"))},  // no-break space is \s
        {"Death:\r\n(F)", std::pair(QString(""), QString("(F)"))},
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
        {"Start: My Title", QString("My Title")},
        {"Start:  two spaces ", QString(" two spaces ")},
        {"Start:Tight", std::nullopt},
        {"Start:\r\n", QString("")},  // \s takes the line break, `.` nothing
        {"Start:\n", QString("")},
        {"Start: a\rb", QString("a")},
        {"Start:\u2003em space", QString("em space")},
        {" Start: indented", std::nullopt},
        {"x\nStart: second line", std::nullopt},
        {"Start:", std::nullopt},
    };
    for (const Case& c : cases)
        EXPECT_EQ(srt.parseStart(QString::fromUtf8(c.line)), c.value) << c.line;
    EXPECT_EQ(srt.parseBID(QString("BID: com.example.app\r\n")), QString("com.example.app"));
    EXPECT_EQ(srt.parseMark(QString("Mark: here\r\nMark: there")), QString("here"));
    EXPECT_FALSE(srt.parseMark(QString("Mark:")));
    EXPECT_FALSE(srt.parseBID(std::nullopt));
}

TEST_F(SubtitleSRTTest, ReadInfoTakesFirstOfEachAndStopsWhenBothFound) {
    const auto info = srt.readInfo(file(
        "1\r\n00:00:01,000 --> 00:00:02,000\r\nStart: The Title \r\n\r\n"
        "2\r\n00:00:03,000 --> 00:00:04,000\r\nStart: Second\r\nBID: com.example.app\r\n\r\n"
        "\xff\xfe binary after both were found \x00\x01"));
    ASSERT_TRUE(info);
    EXPECT_EQ(info->title, QString("The Title "));
    EXPECT_EQ(info->BID, QString("com.example.app"));

    const auto none = srt.readInfo(file("1\n00:00:01,000 --> 00:00:02,000\nStart:NoSpace\n"));
    ASSERT_TRUE(none);
    EXPECT_FALSE(none->title);
    EXPECT_FALSE(none->BID);

    const auto empty = srt.readInfo(file("Start:\nBID:  spaced\n"));
    ASSERT_TRUE(empty);
    EXPECT_EQ(empty->title, QString(""));
    EXPECT_EQ(empty->BID, QString(" spaced"));
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
        EXPECT_EQ(SubtitleSRT::sidecarURL(QUrl::fromLocalFile(c.movie)).toLocalFile(), QString(c.sidecar)) << c.movie;
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
    EXPECT_EQ(cues->first().text, "BID: inside");
    const auto info = srt.readInfo(url);
    ASSERT_TRUE(info);
    EXPECT_EQ(info->title, QString("late"));
    EXPECT_EQ(info->BID, QString("inside"));
}

TEST_F(SubtitleSRTTest, FiftyMegabyteFileWithoutLineBreaks) {
    const QUrl url = file(QByteArray(50 << 20, 'z') + "\n1\n00:00:01,000 --> 00:00:02,000\nend\n");
    const auto info = srt.readInfo(url);
    ASSERT_TRUE(info);
    EXPECT_FALSE(info->title);
    // 12,803 pieces of 4,095 bytes and one of 96 with the line end: an even count of lines,
    // so the block after them pairs up again.
    const auto cues = srt.readAll(url);
    ASSERT_TRUE(cues);
    EXPECT_EQ(cues->size(), 1);
    const QUrl target = this->url("big.vtt");
    ASSERT_TRUE(SubtitleVTT::shared().convert(url, target));
    // "\n" line ends: the text is copied whole behind the 10-byte header.
    EXPECT_EQ(QFileInfo(target.toLocalFile()).size(), 10 + QFileInfo(url.toLocalFile()).size());
}
