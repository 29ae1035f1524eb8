#include "subtitles/MarkExport.h"

#include "TempFiles.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QRegularExpression>

namespace {

SubtitleItem cue(double stime, const QString& text, ItemColor color = ItemColor::white, double etime = -1) {
    return SubtitleItem(stime, etime < 0 ? stime + 2 : etime, text, color, 0);
}

// A marks panel's list as the model holds it: every kind, one note of two lines, out of time order.
QList<SubtitleItem> panelList() {
    return {
        cue(65.5, QStringLiteral("Mark: Opening fight"), ItemColor::gray),
        cue(10, QStringLiteral("Death: Bob (F)"), ItemColor::green),
        cue(120.25, QStringLiteral("first line\r\nsecond line")),
        cue(150, QStringLiteral("Death: Ann (E)"), ItemColor::orange),
    };
}

struct Ran {
    bool finished = false;
    int exitCode = -1;
    QByteArray output;
};

Ran run(const QString& program, const QStringList& arguments) {
    QProcess process;
    process.start(program, arguments);
    Ran ran;
    ran.finished = process.waitForFinished(120000);
    ran.exitCode = process.exitCode();
    ran.output = process.readAllStandardOutput();
    if (ran.exitCode != 0)
        ADD_FAILURE() << program.toStdString() << " failed: " << process.readAllStandardError().toStdString();
    return ran;
}

}  // namespace

TEST(MarkExportTest, FFmetadataHasOneChapterPerItemInTimeOrder) {
    const QByteArray expected =
        ";FFMETADATA1\n"
        "\n[CHAPTER]\nTIMEBASE=1/1000\nSTART=10000\nEND=65500\ntitle=Death: Bob (F)\n"
        "\n[CHAPTER]\nTIMEBASE=1/1000\nSTART=65500\nEND=120250\ntitle=Mark: Opening fight\n"
        "\n[CHAPTER]\nTIMEBASE=1/1000\nSTART=120250\nEND=150000\ntitle=first line second line\n"
        "\n[CHAPTER]\nTIMEBASE=1/1000\nSTART=150000\nEND=200000\ntitle=Death: Ann (E)\n";
    EXPECT_EQ(MarkExport::ffmetadata(panelList(), 200), expected);
    EXPECT_EQ(MarkExport::ffmetadata({}, 200), QByteArray(";FFMETADATA1\n"));
}

TEST(MarkExportTest, FFmetadataEscapesTitlesAndNeverEndsAChapterAtItsStart) {
    const QList<SubtitleItem> items{
        cue(5, QStringLiteral("Mark: a=b;c#d\\e"), ItemColor::gray),
        cue(5, QStringLiteral("same start")),
        cue(0.0004, QStringLiteral("rounds to zero")),
        cue(30, QStringLiteral("after the end")),
    };
    const QByteArray expected =
        ";FFMETADATA1\n"
        "\n[CHAPTER]\nTIMEBASE=1/1000\nSTART=0\nEND=5000\ntitle=rounds to zero\n"
        "\n[CHAPTER]\nTIMEBASE=1/1000\nSTART=5000\nEND=5001\ntitle=Mark: a\\=b\\;c\\#d\\\\e\n"
        "\n[CHAPTER]\nTIMEBASE=1/1000\nSTART=5000\nEND=30000\ntitle=same start\n"
        "\n[CHAPTER]\nTIMEBASE=1/1000\nSTART=30000\nEND=30001\ntitle=after the end\n";
    EXPECT_EQ(MarkExport::ffmetadata(items, 20), expected);
}

TEST(MarkExportTest, ChapterListStartsAtZero) {
    struct Case {
        const char* name;
        QList<SubtitleItem> items;
        double duration;
        QByteArray expected;
    };
    const QList<Case> cases{
        {"first item at the start",
         {cue(0.4, QStringLiteral("Mark: Cold open"), ItemColor::gray), cue(75.9, QStringLiteral("Later"))},
         600,
         "00:00 Mark: Cold open\n01:15 Later\n"},
        {"first item later: an intro line", panelList(), 200,
         "00:00 Intro\n00:10 Death: Bob (F)\n01:05 Mark: Opening fight\n02:00 first line second line\n02:30 Death: Ann "
         "(E)\n"},
        {"an hour-long movie: hours on every line",
         {cue(0, QStringLiteral("Start")), cue(3725, QStringLiteral("End game"))},
         3600,
         "00:00:00 Start\n01:02:05 End game\n"},
        {"no items", {}, 100, ""},
    };
    for (const Case& c : cases)
        EXPECT_EQ(MarkExport::chapterList(c.items, c.duration), c.expected) << c.name;
    EXPECT_EQ(MarkExport::chapterList({cue(42, QStringLiteral("x"))}, 100, QStringLiteral("My Movie")),
              QByteArray("00:00 My Movie\n00:42 x\n"));
}

TEST(MarkExportTest, CsvQuotesPerRfc4180WithCrlfLineEnds) {
    const QList<SubtitleItem> items{
        cue(1.0005, QStringLiteral("plain"), ItemColor::white, 3.25),
        cue(0, QStringLiteral("Mark: comma, here"), ItemColor::gray, 2),
        cue(7, QStringLiteral("Death: \"Red\" (F)"), ItemColor::green, 9),
        cue(8, QStringLiteral("Death: two\r\nlines (E)"), ItemColor::orange, 10.5),
    };
    const QByteArray expected =
        "start,end,kind,text\r\n"
        "0.000,2.000,mark,\"Mark: comma, here\"\r\n"
        "1.001,3.250,cue,plain\r\n"
        "7.000,9.000,death F,\"Death: \"\"Red\"\" (F)\"\r\n"
        "8.000,10.500,death E,\"Death: two\r\nlines (E)\"\r\n";
    EXPECT_EQ(MarkExport::csv(items), expected);
}

// Cells a spreadsheet would evaluate start with "'"; anything else is written as it is.
TEST(MarkExportTest, CsvCellsASpreadsheetWouldEvaluateAreNeutralised) {
    const struct {
        const char* text;
        const char* cell;
    } cases[] = {
        {"=HYPERLINK(\"http://x\")", "\"'=HYPERLINK(\"\"http://x\"\")\""},
        {"+1+1", "'+1+1"},
        {"-2+3", "'-2+3"},
        {"@SUM(A1)", "'@SUM(A1)"},
        {"\t=1", "'\t=1"},
        {"\r=1", "\"'\r=1\""},
        {"=1,2", "\"'=1,2\""},
        {"Mark: =1", "Mark: =1"},
        {" =1", " =1"},
        {"a-b", "a-b"},
        {"", ""},
    };
    for (const auto& c : cases) {
        const QByteArray csv = MarkExport::csv({cue(1, QString::fromUtf8(c.text), ItemColor::white, 2)});
        EXPECT_EQ(csv, QByteArray("start,end,kind,text\r\n1.000,2.000,cue,") + c.cell + "\r\n") << c.text;
    }
}

TEST(MarkExportTest, EveryFormCarriesTheSameTextsAndNoneTheTitleLine) {
    QList<SubtitleItem> items = panelList();
    items << cue(1, QStringLiteral("Start: Night Run")) << cue(1, QStringLiteral("BID: com.example.game"));
    const QString chapters = QString::fromUtf8(MarkExport::chapterList(items, 200, QStringLiteral("Night Run")));
    const QString metadata = QString::fromUtf8(MarkExport::ffmetadata(items, 200));
    const QString table = QString::fromUtf8(MarkExport::csv(items));
    for (const QString& text :
         {QStringLiteral("Death: Bob (F)"), QStringLiteral("Mark: Opening fight"), QStringLiteral("Death: Ann (E)")}) {
        EXPECT_EQ(chapters.count(text), 1) << qPrintable(text);
        EXPECT_EQ(metadata.count(QStringLiteral("title=") + text + u'\n'), 1) << qPrintable(text);
        EXPECT_EQ(table.count(u',' + text + QStringLiteral("\r\n")), 1) << qPrintable(text);
    }
    for (const QString& form : {chapters, metadata, table}) {
        EXPECT_FALSE(form.contains(QStringLiteral("Start:"))) << qPrintable(form);
        EXPECT_FALSE(form.contains(QStringLiteral("BID:"))) << qPrintable(form);
    }
    EXPECT_EQ(chapters.count(QStringLiteral("Night Run")), 1);  // the 00:00 line only
    EXPECT_TRUE(chapters.startsWith(QStringLiteral("00:00 Night Run\n00:10 Death: Bob (F)\n")));
    EXPECT_EQ(metadata.count(QStringLiteral("[CHAPTER]")), 4);
    EXPECT_EQ(table.count(QStringLiteral("\r\n")), 1 + 4 + 1);  // header, 4 rows, one quoted line break
}

class MarkExportFileTest : public TempFiles {};

TEST_F(MarkExportFileTest, WritesTheChosenFormatAndReportsFailure) {
    ASSERT_TRUE(MarkExport::write(path(QStringLiteral("marks.csv")), MarkExport::Format::csv, panelList(), 200));
    EXPECT_EQ(contents(url(QStringLiteral("marks.csv"))), MarkExport::csv(panelList()));

    QString error;
    EXPECT_FALSE(MarkExport::write(path(QStringLiteral("missing/marks.txt")), MarkExport::Format::ffmetadata,
                                   panelList(), 200, QStringLiteral("Intro"), &error));
    EXPECT_FALSE(error.isEmpty());
}

// The exported file as FFmpeg and mpv read it: times and titles arrive whole, escapes and
// non-ASCII text included.
TEST_F(MarkExportFileTest, FFmpegEmbedsTheChaptersAndMpvReadsThem) {
    const QString clip = path(QStringLiteral("clip.mp4"));
    ASSERT_TRUE(makeClip(clip, ClipShape{10.0, QStringLiteral("160x120"), false, true, 25}));
    const QList<SubtitleItem> items{
        cue(0, QStringLiteral("Mark: Start"), ItemColor::gray),
        cue(2.5, QStringLiteral("Mark: a=b; c#d \\ e"), ItemColor::gray),
        cue(6.125, QStringLiteral("Death: Zoë 東京 (E)"), ItemColor::orange),
    };
    struct Chapter {
        double start;
        double end;
        QString title;
    };
    const QList<Chapter> expected{
        {0, 2.5, QStringLiteral("Mark: Start")},
        {2.5, 6.125, QStringLiteral("Mark: a=b; c#d \\ e")},
        {6.125, 10, QStringLiteral("Death: Zoë 東京 (E)")},
    };
    const QString chapters = path(QStringLiteral("chapters.txt"));
    ASSERT_TRUE(MarkExport::write(chapters, MarkExport::Format::ffmetadata, items, 10));

    const QString copy = path(QStringLiteral("with-chapters.mp4"));
    const Ran ffmpeg =
        run(QStringLiteral("ffmpeg"),
            {QStringLiteral("-hide_banner"), QStringLiteral("-loglevel"), QStringLiteral("error"), QStringLiteral("-y"),
             QStringLiteral("-i"), clip, QStringLiteral("-i"), chapters, QStringLiteral("-map_metadata"),
             QStringLiteral("1"), QStringLiteral("-codec"), QStringLiteral("copy"), copy});
    ASSERT_TRUE(ffmpeg.finished && ffmpeg.exitCode == 0);
    const Ran ffprobe =
        run(QStringLiteral("ffprobe"), {QStringLiteral("-v"), QStringLiteral("error"), QStringLiteral("-show_chapters"),
                                        QStringLiteral("-of"), QStringLiteral("json"), copy});
    ASSERT_TRUE(ffprobe.finished && ffprobe.exitCode == 0);
    const QJsonArray probed =
        QJsonDocument::fromJson(ffprobe.output).object().value(QStringLiteral("chapters")).toArray();
    ASSERT_EQ(probed.size(), expected.size()) << ffprobe.output.toStdString();
    for (qsizetype i = 0; i < expected.size(); ++i) {
        const QJsonObject chapter = probed[i].toObject();
        EXPECT_DOUBLE_EQ(chapter.value(QStringLiteral("start_time")).toString().toDouble(), expected[i].start) << i;
        EXPECT_DOUBLE_EQ(chapter.value(QStringLiteral("end_time")).toString().toDouble(), expected[i].end) << i;
        EXPECT_EQ(chapter.value(QStringLiteral("tags")).toObject().value(QStringLiteral("title")).toString(),
                  expected[i].title);
    }

    // mpv prints the chapter list it read once playback starts.
    QString message = QStringLiteral("CHAPTERS ${chapter-list/count}");
    for (qsizetype i = 0; i < expected.size(); ++i)
        message += QStringLiteral("|${=chapter-list/%1/time}|${chapter-list/%1/title}").arg(i);
    const Ran mpv =
        run(QStringLiteral("mpv"),
            {QStringLiteral("--no-config"), QStringLiteral("--vo=null"), QStringLiteral("--ao=null"),
             QStringLiteral("--end=0.1"), QStringLiteral("--term-status-msg="),
             QStringLiteral("--chapters-file=") + chapters, QStringLiteral("--term-playing-msg=") + message, clip});
    ASSERT_TRUE(mpv.finished && mpv.exitCode == 0);
    const QRegularExpressionMatch line =
        QRegularExpression(QStringLiteral("^CHAPTERS (.*)$"), QRegularExpression::MultilineOption)
            .match(QString::fromUtf8(mpv.output));
    ASSERT_TRUE(line.hasMatch()) << mpv.output.toStdString();
    const QStringList fields = line.captured(1).split(u'|');
    ASSERT_EQ(fields.size(), 1 + 2 * expected.size()) << line.captured(1).toStdString();
    EXPECT_EQ(fields[0].toInt(), expected.size());
    for (qsizetype i = 0; i < expected.size(); ++i) {
        EXPECT_NEAR(fields[1 + 2 * i].toDouble(), expected[i].start, 0.0005) << i;
        EXPECT_EQ(fields[2 + 2 * i], expected[i].title) << i;
    }
}
