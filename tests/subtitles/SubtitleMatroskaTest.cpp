#include "subtitles/SubtitleMatroska.h"

#include "subtitles/SubtitleSRT.h"
#include "subtitles/SubtitleVTT.h"

#include "MpvSubtitles.h"
#include "TempFiles.h"

#include <cstdio>
#include <utility>

namespace {

QByteArray stamp(int ms) {
    char text[16];
    std::snprintf(text, sizeof text, "%02d:%02d:%02d,%03d", ms / 3600000, ms / 60000 % 60, ms / 1000 % 60, ms % 1000);
    return text;
}

QByteArray srtCue(int startMs, int endMs, const QByteArray& text) {
    return "1\r\n" + stamp(startMs) + " --> " + stamp(endMs) + "\r\n" + text + "\r\n\r\n";
}

class SubtitleMatroskaTest : public TempFiles {
protected:
    // The player's two files for an SRT text: its WebVTT conversion and the Matroska form of its
    // cues as the reader reads them.
    std::pair<QString, QString> playerFiles(const QByteArray& srt) {
        const QUrl source = file(srt);
        const QUrl vtt = url(QStringLiteral("movie.vtt"));
        const QUrl mks = url(QStringLiteral("movie.mks"));
        EXPECT_TRUE(SubtitleVTT::shared().convert(source, vtt));
        EXPECT_TRUE(
            SubtitleMatroska::write(SubtitleSRT::shared().readAll(source).value_or(QList<SubtitleItem>{}), mks));
        return {vtt.toLocalFile(), mks.toLocalFile()};
    }
};

}  // namespace

TEST_F(SubtitleMatroskaTest, ThePlayerShowsEachCueAsFromTheWebVttFile) {
    const QList<QByteArray> texts = {
        "Mark: plain",
        "two\r\nlines",
        "<i>italic</i> and <b>bold</b>",
        "fish &amp; chips &lt;3",
        "caf\xC3\xA9 \xE2\x98\x95 \xE6\x97\xA5\xE6\x9C\xAC",
        "- one speaker\r\n- another",
        "Death: hero (F)",
    };
    QByteArray srt;
    for (int i = 0; i < texts.size(); ++i)
        srt += srtCue(i * 1000 + 100, i * 1000 + 900, texts[i]);
    const auto [vtt, mks] = playerFiles(srt);

    const QString clip = path(QStringLiteral("clip.mp4"));
    ASSERT_TRUE(makeClip(clip, {.seconds = double(texts.size()) + 1, .audio = false}));
    MpvSubtitles player(clip);
    ASSERT_TRUE(player.isReady());
    const auto shown = [](const QString& text) { return !text.isEmpty(); };
    for (int i = 0; i < texts.size(); ++i) {
        SCOPED_TRACE(texts[i].toStdString());
        const auto fromWebVtt = player.textAt(vtt, i + 0.5, shown);
        ASSERT_TRUE(fromWebVtt && !fromWebVtt->isEmpty());
        EXPECT_EQ(player.textAt(mks, i + 0.5, *fromWebVtt), fromWebVtt);
        EXPECT_EQ(player.textAt(mks, i + 0.96, QString()), QString());  // between two cues
    }
}

// The player reads the Matroska file from the cluster its index gives for a seek: a cue still
// showing at the target must be found also when it began several clusters earlier.
TEST_F(SubtitleMatroskaTest, SeeksFindCuesThatBeganInAnEarlierCluster) {
    QByteArray srt = srtCue(500, 30000, "LONG");
    for (int i = 0; i < 3 * SubtitleMatroska::cuesPerCluster; ++i)  // 20 ms apart from 1 s on
        srt += srtCue(1000 + i * 20, 1000 + i * 20 + 15, "s" + QByteArray::number(i));
    srt += srtCue(45000, 47000, "LATE");  // more than a cluster's reach after the one before
    const auto [vtt, mks] = playerFiles(srt);

    const QString clip = path(QStringLiteral("clip.mp4"));
    ASSERT_TRUE(makeClip(clip, {.seconds = 48, .audio = false}));
    MpvSubtitles player(clip);
    ASSERT_TRUE(player.isReady());
    const auto both = [](const QString& text) {
        return text.contains(QStringLiteral("LONG")) && text.contains(QStringLiteral("s300"));
    };
    const auto fromWebVtt = player.textAt(vtt, 7.0, both);  // s300 runs from 7 s
    ASSERT_TRUE(fromWebVtt && both(*fromWebVtt)) << fromWebVtt.value_or(QString()).toStdString();

    // Forward and backward, as a user seeks.
    EXPECT_EQ(player.textAt(mks, 20.0, QStringLiteral("LONG")), QStringLiteral("LONG"));
    EXPECT_EQ(player.textAt(mks, 31.0, QString()), QString());
    EXPECT_EQ(player.textAt(mks, 46.0, QStringLiteral("LATE")), QStringLiteral("LATE"));
    EXPECT_EQ(player.textAt(mks, 7.0, *fromWebVtt), fromWebVtt);
    EXPECT_EQ(player.textAt(mks, 0.7, QStringLiteral("LONG")), QStringLiteral("LONG"));
}

TEST_F(SubtitleMatroskaTest, CuesThatEndBeforeTheyStartAreLeftOut) {
    QList<SubtitleItem> items;
    items << SubtitleItem(2, 1, QStringLiteral("backwards"), ItemColor::white, 10)
          << SubtitleItem(3, 3, QStringLiteral("empty span"), ItemColor::white, 10)
          << SubtitleItem(4, 5, QStringLiteral("kept"), ItemColor::white, 10);
    const QByteArray bytes = SubtitleMatroska::fromItems(items);
    EXPECT_TRUE(bytes.startsWith("\x1A\x45\xDF\xA3"));
    EXPECT_TRUE(bytes.contains("kept"));
    EXPECT_FALSE(bytes.contains("backwards"));
    EXPECT_FALSE(bytes.contains("empty span"));
}

// A cue that runs on over many later ones must be found after a seek far into it: the player
// looks back from the index entry it lands on only a few seconds (mpv's default) for clusters
// whose cues still show, so an index of each cue's own start time loses it.
TEST_F(SubtitleMatroskaTest, SeeksFindACueThatRunsOnOverManyLaterOnes) {
    QByteArray srt = srtCue(500, 70000, "LONG");
    for (int i = 0; i < 2700; ++i)  // 20 ms apart from 1 s to 55 s
        srt += srtCue(1000 + i * 20, 1000 + i * 20 + 15, "s" + QByteArray::number(i));
    const auto [vtt, mks] = playerFiles(srt);

    const QString clip = path(QStringLiteral("clip.mp4"));
    ASSERT_TRUE(makeClip(clip, {.seconds = 72, .audio = false}));
    MpvSubtitles player(clip);
    ASSERT_TRUE(player.isReady());
    const auto showsLong = [](const QString& text) { return text.contains(QStringLiteral("LONG")); };
    for (const double seconds : {25.0, 40.0, 60.0, 68.0}) {  // amid the short cues, then after them
        const auto text = player.textAt(mks, seconds, showsLong);
        EXPECT_TRUE(text && showsLong(*text))
            << "at " << seconds << " s: " << text.value_or(QStringLiteral("(no file)")).toStdString();
    }
}
