#include "models/SidecarLoader.h"

#include "TestMedia.h"
#include "models/SubtitlesViewModel.h"
#include "subtitles/SubtitleMatroska.h"
#include "subtitles/SubtitleSRT.h"
#include "subtitles/SubtitleVTT.h"

#include <gtest/gtest.h>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>

namespace {

QByteArray cue(const QByteArray& start, const QByteArray& end, const QByteArray& text) {
    return "1\r\n" + start + " --> " + end + "\r\n" + text + "\r\n\r\n";
}

// `cues`, then marks from 1,000 s on until the file is larger than the loader reads at once.
QByteArray largeSidecar(QByteArray cues, const QByteArray& padding = "padding") {
    for (int i = 0; cues.size() <= SidecarLoader::largeFileBytes; ++i)
        cues += cue("00:16:40,000", "00:16:41,000", "Mark: " + padding + " " + QByteArray::number(i));
    return cues;
}

int cueCount(const QByteArray& srt) { return int(srt.count(" --> ")); }

class SidecarLoaderTest : public testing::Test {
protected:
    QUrl movie(const QString& name, const QByteArray& srt) {
        EXPECT_TRUE(writeFile(dir_.filePath(name + QStringLiteral(".srt")), srt));
        return QUrl::fromLocalFile(dir_.filePath(name + QStringLiteral(".mp4")));
    }
    QStringList texts() const {
        QStringList result;
        for (const SubtitleItem& item : list_.items())
            result << item.text;
        return result;
    }
    // Waits for the player's file of `movieURL`.
    bool waitForPlayerFile(const QUrl& movieURL) {
        bool written = false;
        QObject context;
        QObject::connect(&loader_, &SidecarLoader::playerFileWritten, &context,
                         [&](const QUrl& url) { written = written || url == movieURL; });
        return waitUntil([&] { return written; }, 30000);
    }

    QTemporaryDir dir_;
    SidecarLoader& loader_ = SidecarLoader::shared();
    SubtitlesViewModel& list_ = SubtitlesViewModel::shared();
};

}  // namespace

TEST_F(SidecarLoaderTest, ASmallSidecarIsInPlaceWhenOpenReturns) {
    const QUrl small = movie(QStringLiteral("small"), cue("00:00:01,000", "00:00:02,000", "Mark: one"));
    loader_.open(small, 60);
    EXPECT_FALSE(list_.isLoading());
    EXPECT_EQ(texts(), QStringList{QStringLiteral("Mark: one")});
    const SidecarLoader::PlayerFile file = loader_.playerFile(small);
    EXPECT_EQ(file.path, SubtitleVTT::cacheURL(small).toLocalFile());
    EXPECT_FALSE(file.pending);
    EXPECT_TRUE(QFileInfo(file.path).isFile());
}

// A sidecar too large to read whole (sparse, 300 MB) is refused at once with a reason for the
// panel, and no player's file is made from it.
TEST_F(SidecarLoaderTest, ASidecarTooLargeToReadIsRefusedWithAReason) {
    const QUrl huge = movie(QStringLiteral("huge"), cue("00:00:01,000", "00:00:02,000", "Mark: one"));
    ASSERT_TRUE(QFile::resize(SubtitleSRT::sidecarURL(huge).toLocalFile(), qint64(300) << 20));
    QString told;
    QObject context;
    QObject::connect(&loader_, &SidecarLoader::sidecarRefused, &context,
                     [&](const QUrl& url, const QString& reason) { told = url == huge ? reason : QString(); });
    QFile::remove(SubtitleVTT::cacheURL(huge).toLocalFile());
    loader_.open(huge, 60);
    EXPECT_FALSE(list_.isLoading());
    EXPECT_TRUE(list_.items().isEmpty());
    EXPECT_EQ(told, QStringLiteral("huge.srt is not shown: it is larger than 256 MB"));
    EXPECT_EQ(loader_.refusal(), told);
    EXPECT_FALSE(QFileInfo::exists(SubtitleVTT::cacheURL(huge).toLocalFile()));

    loader_.open(movie(QStringLiteral("small"), cue("00:00:01,000", "00:00:02,000", "Mark: one")), 60);
    EXPECT_EQ(loader_.refusal(), QString());
}

TEST_F(SidecarLoaderTest, ALargeSidecarComesFromAWorkerAsAMatroskaFile) {
    const QByteArray srt = largeSidecar(cue("00:00:09,000", "00:00:10,000", "Death: hero (F)") +
                                        cue("00:00:03,000", "00:00:05,000", "Mark: first"));
    const QUrl large = movie(QStringLiteral("large"), srt);
    loader_.open(large, 60);
    EXPECT_TRUE(list_.isLoading());
    EXPECT_TRUE(list_.items().isEmpty());
    const SidecarLoader::PlayerFile pending = loader_.playerFile(large);
    EXPECT_EQ(pending.path, SubtitleMatroska::cacheURL(large).toLocalFile());
    EXPECT_TRUE(pending.pending);

    ASSERT_TRUE(waitForPlayerFile(large));
    EXPECT_FALSE(list_.isLoading());
    ASSERT_EQ(list_.items().size(), cueCount(srt));
    // Coloured and in order, as a direct load gives them.
    EXPECT_EQ(list_.items()[0].text, QStringLiteral("Mark: first"));
    EXPECT_EQ(list_.items()[0].color, ItemColor::gray);
    EXPECT_EQ(list_.items()[1].color, ItemColor::green);
    EXPECT_EQ(list_.items()[1].duration, 60);
    const SidecarLoader::PlayerFile written = loader_.playerFile(large);
    EXPECT_FALSE(written.pending);
    QFile file(written.path);
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    EXPECT_EQ(file.read(4), QByteArray("\x1A\x45\xDF\xA3"));  // an EBML (Matroska) file
    // Other movies keep their WebVTT file.
    const QUrl other = QUrl::fromLocalFile(dir_.filePath(QStringLiteral("other.mp4")));
    EXPECT_EQ(loader_.playerFile(other).path, SubtitleVTT::cacheURL(other).toLocalFile());
}

TEST_F(SidecarLoaderTest, ALoadForAMovieLeftBeforeItFinishedIsDropped) {
    const QUrl left = movie(QStringLiteral("left"), largeSidecar({}, "of the movie left"));
    const QUrl small = movie(QStringLiteral("next"), cue("00:00:01,000", "00:00:02,000", "Mark: next"));
    const QByteArray lastSrt = largeSidecar(cue("00:00:01,000", "00:00:02,000", "Mark: last"));
    const QUrl last = movie(QStringLiteral("last"), lastSrt);
    QStringList firstTexts;  // the first item of every list shown
    QList<QUrl> written;
    QObject context;
    QObject::connect(&list_, &SubtitlesViewModel::itemsChanged, &context,
                     [&] { firstTexts << (list_.items().isEmpty() ? QString() : list_.items().first().text); });
    QObject::connect(&loader_, &SidecarLoader::playerFileWritten, &context, [&](const QUrl& url) { written << url; });

    loader_.open(left, 60);
    loader_.open(small, 60);  // read at once; the large load under way is dropped
    EXPECT_FALSE(list_.isLoading());
    EXPECT_EQ(texts(), QStringList{QStringLiteral("Mark: next")});
    loader_.open(last, 60);  // loads after the dropped one, in the same queue
    ASSERT_TRUE(waitForPlayerFile(last));

    EXPECT_EQ(list_.items().size(), cueCount(lastSrt));
    EXPECT_EQ(list_.items().first().text, QStringLiteral("Mark: last"));
    for (const QString& text : firstTexts)
        EXPECT_FALSE(text.contains(QStringLiteral("of the movie left"))) << text.toStdString();
    EXPECT_EQ(written, QList<QUrl>{last});
}

TEST_F(SidecarLoaderTest, ALargeFileWithoutCuesEndsTheLoadWithAnEmptyListAndNoPlayerFile) {
    QByteArray garbage;
    while (garbage.size() <= SidecarLoader::largeFileBytes)
        garbage += "no time line here\r\n";
    const QUrl noCues = movie(QStringLiteral("garbage"), garbage);
    loader_.open(noCues, 60);
    ASSERT_TRUE(waitForPlayerFile(noCues));
    EXPECT_FALSE(list_.isLoading());
    EXPECT_TRUE(list_.items().isEmpty());
    EXPECT_FALSE(QFileInfo::exists(loader_.playerFile(noCues).path));
}
