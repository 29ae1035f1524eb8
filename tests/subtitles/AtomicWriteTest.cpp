#include "subtitles/AtomicWrite.h"
#include "subtitles/MarkExport.h"
#include "subtitles/SubtitleMatroska.h"
#include "subtitles/SubtitleSRT.h"
#include "subtitles/SubtitleVTT.h"

#include "TempFiles.h"

#include <sys/stat.h>
#include <QDir>
#include <QFileInfo>
#include <QProcess>

namespace {

QList<SubtitleItem> marks(int count) {
    QList<SubtitleItem> items;
    for (int i = 0; i < count; ++i)
        items.append(
            SubtitleItem(i, i + 1, QStringLiteral("Mark: note number %1 with some words").arg(i), ItemColor::gray, 0));
    return items;
}

bool run(const QString& program, const QStringList& arguments) {
    QProcess process;
    process.start(program, arguments);
    return process.waitForFinished(30000) && process.exitStatus() == QProcess::NormalExit && process.exitCode() == 0;
}

// A real file system of 64 KB, mounted for the test and unmounted after it.
class FullDiskTest : public TempFiles {
protected:
    void SetUp() override {
        disk = path(QStringLiteral("disk"));
        ASSERT_TRUE(QDir().mkpath(disk));
        mounted = run(QStringLiteral("mount"), {QStringLiteral("-t"), QStringLiteral("tmpfs"), QStringLiteral("-o"),
                                                QStringLiteral("size=64k"), QStringLiteral("tmpfs"), disk});
        if (!mounted) {
            GTEST_SKIP() << "cannot mount a small tmpfs here (mounting needs root in a namespace that allows it)";
        }
    }
    void TearDown() override {
        if (mounted) {
            EXPECT_TRUE(run(QStringLiteral("umount"), {disk}));
        }
    }
    // Fills the file system up to its last byte.
    void fill() {
        QFile filler(disk + QStringLiteral("/filler"));
        ASSERT_TRUE(filler.open(QIODevice::WriteOnly | QIODevice::Unbuffered));
        const QByteArray block(1024, 'x');
        while (filler.write(block) == block.size()) {
        }
    }
    QStringList names() const { return QDir(disk).entryList(QDir::Files | QDir::Hidden | QDir::System); }

    QString disk;
    bool mounted = false;
};

}  // namespace

// A save that does not fit fails with the system's reason and leaves the old file whole and
// no temporary file behind: with the disk already full (a small file), and with a file larger
// than the space left (the disk fills in the middle of the write).
TEST_F(FullDiskTest, AFailedSaveKeepsTheOldFileAndSaysWhy) {
    const QUrl sidecar = QUrl::fromLocalFile(disk + QStringLiteral("/movie.srt"));
    SubtitleSRT& srt = SubtitleSRT::shared();
    ASSERT_TRUE(srt.writeAll(sidecar, marks(3)));
    const QByteArray old = contents(sidecar);

    QString error;
    EXPECT_FALSE(srt.writeAll(sidecar, marks(2000), &error));  // about 110 KB
    EXPECT_EQ(error, QStringLiteral("No space left on device"));
    EXPECT_EQ(contents(sidecar), old);
    EXPECT_EQ(names(), QStringList{QStringLiteral("movie.srt")});

    fill();
    error.clear();
    EXPECT_FALSE(srt.writeAll(sidecar, marks(4), &error));
    EXPECT_EQ(error, QStringLiteral("No space left on device"));
    EXPECT_EQ(contents(sidecar), old);

    error.clear();
    const QString exported = disk + QStringLiteral("/marks.csv");
    EXPECT_FALSE(MarkExport::write(exported, MarkExport::Format::csv, marks(4), 10, QString(), &error));
    EXPECT_EQ(error, QStringLiteral("No space left on device"));
    EXPECT_FALSE(QFileInfo::exists(exported));
    EXPECT_EQ(names(), (QStringList{QStringLiteral("filler"), QStringLiteral("movie.srt")}));
}

TEST_F(TempFiles, ReplacingKeepsTheAccessRights) {
    const QString target = path(QStringLiteral("notes.srt"));
    ASSERT_TRUE(writeAtomically(target, "old"));
    ASSERT_EQ(::chmod(QFile::encodeName(target).constData(), 0640), 0);
    ASSERT_TRUE(writeAtomically(target, "new"));
    struct stat info {};
    ASSERT_EQ(::stat(QFile::encodeName(target).constData(), &info), 0);
    EXPECT_EQ(info.st_mode & 07777, 0640u);
    EXPECT_EQ(contents(QUrl::fromLocalFile(target)), QByteArray("new"));
}

// Names up to the 255 bytes a file name may take can be replaced: the temporary name is cut
// at a character boundary to fit.
TEST_F(TempFiles, LongNamesCanBeReplaced) {
    const QString cjk = QString(84, QChar(0x6F22)) + QStringLiteral(".s");  // 252 + 2 bytes
    for (const QString& name : {QString(251, u'a') + QStringLiteral(".srt"), cjk + QStringLiteral("r"),
                                QString(83, QChar(0x6F22)) + QStringLiteral("ab.srt")}) {
        ASSERT_LE(name.toUtf8().size(), 255);
        const QString target = path(name);
        ASSERT_TRUE(writeAtomically(target, "first"));
        QString error;
        EXPECT_TRUE(writeAtomically(target, "second", &error)) << error.toStdString();
        EXPECT_EQ(contents(QUrl::fromLocalFile(target)), QByteArray("second"));
        const QByteArray prefix = temporaryNamePrefix(name.toUtf8());
        EXPECT_LE(prefix.size() + 7, 255);
        EXPECT_TRUE(QString::fromUtf8(prefix).toUtf8() == prefix) << "cut inside a character";
    }
    EXPECT_EQ(QDir(dir.path()).entryList(QDir::Files | QDir::Hidden).size(), 3);

    // A backup beside a sidecar of the longest name gets a name that fits as well.
    const QString sidecar = path(QString(83, QChar(0x6F22)) + QStringLiteral("ab.srt"));
    ASSERT_TRUE(writeFile(sidecar, "1\r\n0:00:01,000 --> 00:00:02,000\r\nunread\r\n"));
    QString backup;
    QString error;
    ASSERT_TRUE(SubtitleSRT::shared().writeAll(QUrl::fromLocalFile(sidecar), marks(1), &error, &backup))
        << error.toStdString();
    EXPECT_EQ(backup, path(QString(83, QChar(0x6F22)) + QStringLiteral("ab.bak")));
    EXPECT_EQ(contents(QUrl::fromLocalFile(backup)), "1\r\n0:00:01,000 --> 00:00:02,000\r\nunread\r\n");
}

// A link planted in the cache folder is replaced by the new file; the file it points to,
// outside, keeps its content. The folder is made private.
TEST_F(TempFiles, CacheFilesReplaceAPlantedLinkWithoutFollowingIt) {
    const QString outside = path(QStringLiteral("doc.txt"));
    ASSERT_TRUE(writeFile(outside, "precious"));
    const QString cache = path(QStringLiteral("cache"));
    ASSERT_TRUE(QDir().mkpath(cache));
    ASSERT_EQ(::chmod(QFile::encodeName(cache).constData(), 0755), 0);
    const QUrl srt = file("1\r\n00:00:01,000 --> 00:00:02,000\r\nMark: a\r\n\r\n");
    for (const QString& name : {QStringLiteral("movie.vtt"), QStringLiteral("movie.mks")}) {
        const QString planted = cache + u'/' + name;
        ASSERT_TRUE(QFile::link(outside, planted));
        const QUrl target = QUrl::fromLocalFile(planted);
        if (name.endsWith(QStringLiteral("vtt")))
            EXPECT_TRUE(SubtitleVTT::shared().convert(srt, target));
        else
            EXPECT_TRUE(SubtitleMatroska::write(marks(2), target));
        EXPECT_FALSE(QFileInfo(planted).isSymLink()) << name.toStdString();
        EXPECT_GT(QFileInfo(planted).size(), 0);
        EXPECT_EQ(contents(QUrl::fromLocalFile(outside)), QByteArray("precious"));
    }
    struct stat info {};
    ASSERT_EQ(::stat(QFile::encodeName(cache).constData(), &info), 0);
    EXPECT_EQ(info.st_mode & 0777, 0700u);

    // A cache folder that is itself a link is refused.
    const QString linkedFolder = path(QStringLiteral("linked"));
    ASSERT_TRUE(QFile::link(dir.path(), linkedFolder));
    QString error;
    EXPECT_FALSE(writePrivately(linkedFolder + QStringLiteral("/movie.vtt"), "x", &error));
    EXPECT_FALSE(error.isEmpty());
}
