#include "models/LibraryScanner.h"

#include "TestMedia.h"
#include "models/FileStamp.h"
#include "models/FolderWatch.h"
#include "models/MediaProbe.h"

#include <gtest/gtest.h>
#include <QCborArray>
#include <QCborMap>
#include <QCborValue>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QScopeGuard>
#include <QTemporaryDir>

#include <fcntl.h>
#include <sys/stat.h>
#include <time.h>

#include <algorithm>
#include <cstdio>
#include <functional>
#include <ostream>

namespace {

constexpr qint64 nsPerSecond = 1'000'000'000;

// A scanner whose "now" is `offsetNs` away from the wall clock: ahead by more than 2 s, every
// file written by the test counts as settled without waiting for it.
LibraryScanner scannerAt(qint64 offsetNs) {
    return LibraryScanner([offsetNs] { return fileClockNowNs() + offsetNs; });
}
const qint64 settled = 3 * nsPerSecond;

struct Row {
    QString file;
    QString time;
    QString text;
    QString BID;
    double duration = 0;
    friend bool operator==(const Row&, const Row&) = default;
    friend std::ostream& operator<<(std::ostream& out, const Row& r) {
        return out << "{" << r.file.toStdString() << ", " << r.time.toStdString() << ", " << r.text.toStdString()
                   << ", " << r.BID.toStdString() << ", " << r.duration << "}";
    }
};

// One refresh as the library runs it: the folder scanned, then what is not known measured and
// kept. The rows in library order, and how many files had to be measured.
std::pair<QList<Row>, int> refresh(LibraryScanner& scanner, const QString& folder) {
    QList<Row> rows;
    int measured = 0;
    const auto scanned = scanner.scanFolder(folder);
    EXPECT_TRUE(scanned.has_value());
    for (ScannedMovie movie : scanned.value_or(QList<ScannedMovie>())) {
        if (!movie.measured) {
            movie.duration = MediaProbe::duration(movie.url().toLocalFile());
            scanner.keepLength(movie, movie.duration);
            ++measured;
        }
        rows.append(
            {QFileInfo(movie.url().toLocalFile()).fileName(), movie.time, movie.text, movie.BID, movie.duration});
    }
    return {rows, measured};
}

QByteArray srt(const QByteArray& lines) { return "1\r\n00:00:00,000 --> 00:00:01,000\r\n" + lines + "\r\n\r\n"; }

void setModified(const QString& file, qint64 ns) {
    const timespec times[2] = {{0, UTIME_OMIT},
                               {static_cast<time_t>(ns / nsPerSecond), static_cast<long>(ns % nsPerSecond)}};
    ASSERT_EQ(utimensat(AT_FDCWD, QFile::encodeName(file).constData(), times, 0), 0);
}

class Scanner : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_TRUE(dir.isValid()); }
    QString path(const QString& name) const { return dir.filePath(name); }
    QTemporaryDir dir;
};

}  // namespace

// A length is kept only when the file had not changed within 2 s of the read, as the scanner's
// clock tells: what changed within one timestamp tick of a read could hide behind the same stamp.
TEST_F(Scanner, KeepsWhatItReadOnlyOnceTheFileHadSettledByItsClock) {
    ASSERT_TRUE(writeFile(path(QStringLiteral("a.mp4")), "bytes"));
    const struct {
        const char* name;
        qint64 clockOffset;
        bool kept;
    } cases[] = {
        {"read just after the change", 0, false},
        {"read 3 s after it", settled, true},
        {"a file time 3 s ahead of the clock (a camera's)", -settled, true},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        LibraryScanner scanner = scannerAt(c.clockOffset);
        const auto before = scanner.scanFolder(dir.path());
        ASSERT_TRUE(before && before->size() == 1);
        const ScannedMovie first = before->first();
        ASSERT_FALSE(first.measured);
        scanner.keepLength(first, 5.0);
        const auto after = scanner.scanFolder(dir.path());
        ASSERT_TRUE(after && after->size() == 1);
        const ScannedMovie again = after->first();
        EXPECT_EQ(again.measured, c.kept);
        EXPECT_EQ(again.duration, c.kept ? 5.0 : 0.0);
    }
}

// A long-lived scanner, checked after every change against a new one that reads everything
// afresh.
TEST_F(Scanner, RemembersReadsOnlyWhileFilesStayUnchanged) {
    const QString folder = path(QStringLiteral("movies"));
    ASSERT_TRUE(QDir().mkpath(folder));
    const auto movie = [&](const QString& name) { return folder + u'/' + name; };
    LibraryScanner kept = scannerAt(settled);
    const auto check = [&](const char* step, int expectMeasured) {
        SCOPED_TRACE(step);
        LibraryScanner fresh = scannerAt(settled);
        const auto [rows, measured] = refresh(kept, folder);
        EXPECT_EQ(rows, refresh(fresh, folder).first);
        EXPECT_EQ(measured, expectMeasured);
    };
    QTemporaryDir spare;

    ASSERT_TRUE(makeClip(movie(QStringLiteral("a.mp4")), {.seconds = 3.0}));
    ASSERT_TRUE(writeFile(movie(QStringLiteral("a.srt")), srt("Start: Alpha")));
    ASSERT_TRUE(makeClip(movie(QStringLiteral("b.MOV")), {.seconds = 2.0}));
    ASSERT_TRUE(makeClip(movie(QStringLiteral("c.mp4")), {.seconds = 1.0}));
    ASSERT_TRUE(writeFile(movie(QStringLiteral("c.srt")), srt("BID: org.example.C")));
    ASSERT_TRUE(writeFile(movie(QStringLiteral("d.mp4")), "not a movie"));
    ASSERT_TRUE(makeClip(movie(QStringLiteral("e.mp4")), {.seconds = 1.0}));
    check("first scan", 5);
    check("nothing changed", 0);

    ASSERT_TRUE(makeClip(movie(QStringLiteral("b.MOV")), {.seconds = 1.5}));  // same name and title, new content
    check("movie rewritten in place", 1);

    // Same size, same modification time, other title: only the change time tells.
    const qint64 modified = FileStamp::of(movie(QStringLiteral("a.srt")))->modifiedNs;
    ASSERT_TRUE(writeFile(movie(QStringLiteral("a.srt")), srt("Start: Alphb")));
    setModified(movie(QStringLiteral("a.srt")), modified);
    check("sidecar rewritten with its old size and time", 0);

    // Another file renamed over a movie, with the old file's times: a new inode.
    ASSERT_TRUE(makeClip(spare.filePath(QStringLiteral("c.mp4")), {.seconds = 2.5}));
    setModified(spare.filePath(QStringLiteral("c.mp4")), FileStamp::of(movie(QStringLiteral("c.mp4")))->modifiedNs);
    ASSERT_EQ(std::rename(QFile::encodeName(spare.filePath(QStringLiteral("c.mp4"))).constData(),
                          QFile::encodeName(movie(QStringLiteral("c.mp4"))).constData()),
              0);
    check("movie replaced by rename", 1);

    // A rename keeps the inode and the stamp, but the length is kept per path.
    ASSERT_TRUE(QFile::rename(movie(QStringLiteral("e.mp4")), movie(QStringLiteral("f.mp4"))));
    check("movie renamed", 1);
    ASSERT_TRUE(QFile::rename(movie(QStringLiteral("a.srt")), movie(QStringLiteral("f.srt"))));
    check("sidecar moved to another movie", 0);
    ASSERT_TRUE(QFile::remove(movie(QStringLiteral("d.mp4"))));
    check("movie removed", 0);
    ASSERT_TRUE(makeClip(movie(QStringLiteral("d.mp4")), {.seconds = 1.0}));
    check("movie back under an old name", 1);
    ASSERT_TRUE(writeFile(movie(QStringLiteral("g.mp4")), ""));
    ASSERT_TRUE(QFile::remove(movie(QStringLiteral("f.srt"))));
    ASSERT_TRUE(QFile::remove(movie(QStringLiteral("c.srt"))));
    check("one added, sidecars removed", 1);
}

// What was read survives in the cache file; a file of another kind in its place is refused
// without hanging or taking anything from it.
TEST_F(Scanner, KeepsWhatItReadInItsCacheFile) {
    const QString folder = path(QStringLiteral("movies"));
    ASSERT_TRUE(QDir().mkpath(folder));
    ASSERT_TRUE(makeClip(folder + QStringLiteral("/a.mp4"), {.seconds = 1.0}));
    ASSERT_TRUE(makeClip(folder + QStringLiteral("/a.MOV"), {.seconds = 2.0}));  // the same sidecar
    ASSERT_TRUE(writeFile(folder + QStringLiteral("/a.srt"), srt("Start: Kept")));
    const QString cacheFile = path(QStringLiteral("library.cbor"));

    LibraryScanner first = scannerAt(settled);
    const auto [rows, measured] = refresh(first, folder);
    EXPECT_EQ(measured, 2);
    ASSERT_EQ(rows.size(), 2);
    EXPECT_EQ(rows[0].text, QStringLiteral("Kept"));
    EXPECT_EQ(rows[1].text, QStringLiteral("Kept"));
    ASSERT_TRUE(first.hasUnsavedChanges());
    QString error;
    ASSERT_TRUE(first.writeCacheFile(cacheFile, &error)) << error.toStdString();
    EXPECT_FALSE(first.hasUnsavedChanges());

    LibraryScanner next = scannerAt(settled);
    ASSERT_TRUE(next.readCacheFile(cacheFile));
    EXPECT_EQ(refresh(next, folder), std::make_pair(rows, 0));
    EXPECT_FALSE(next.hasUnsavedChanges()) << "every entry of the file was taken up as it was";

    // No regular file in its place: refused at once (a FIFO without a writer would block an
    // open, /dev/zero would never end).
    const QString odd = path(QStringLiteral("odd.cbor"));
    const struct {
        const char* name;
        std::function<bool()> make;
    } others[] = {
        {"a FIFO", [&] { return mkfifo(QFile::encodeName(odd).constData(), 0600) == 0; }},
        {"a link to /dev/zero", [&] { return QFile::link(QStringLiteral("/dev/zero"), odd); }},
        {"a folder", [&] { return QDir().mkpath(odd); }},
    };
    for (const auto& other : others) {
        SCOPED_TRACE(other.name);
        ASSERT_TRUE(QFile::remove(odd) || QDir(odd).removeRecursively() || !QFileInfo::exists(odd));
        ASSERT_TRUE(other.make());
        LibraryScanner reader = scannerAt(settled);
        EXPECT_FALSE(reader.readCacheFile(odd));
        EXPECT_EQ(refresh(reader, folder).second, 2);
    }
}

// A folder that cannot be read for a while (a share gone offline) costs no measurement when it
// comes back, and its cache file written meanwhile keeps its movies; only a movie gone from a
// folder that is read is a change to save.
TEST_F(Scanner, ForgetsNothingWhileItsFolderCannotBeRead) {
    const QString folder = path(QStringLiteral("movies"));
    const QString away = path(QStringLiteral("away"));
    ASSERT_TRUE(QDir().mkpath(folder));
    ASSERT_TRUE(makeClip(folder + QStringLiteral("/a.mp4"), {.seconds = 1.0}));
    ASSERT_TRUE(makeClip(folder + QStringLiteral("/b.mp4"), {.seconds = 2.0}));
    const QString cacheFile = path(QStringLiteral("library.cbor"));
    LibraryScanner scanner = scannerAt(settled);
    EXPECT_EQ(refresh(scanner, folder).second, 2);

    ASSERT_TRUE(QDir().rename(folder, away));
    EXPECT_EQ(scanner.refreshFolder(folder).outcome, LibraryScanner::FolderScan::Outcome::unreadable);
    ASSERT_TRUE(scanner.writeCacheFile(cacheFile, nullptr));
    ASSERT_TRUE(QDir().rename(away, folder));
    EXPECT_EQ(refresh(scanner, folder).second, 0);
    LibraryScanner next = scannerAt(settled);
    ASSERT_TRUE(next.readCacheFile(cacheFile));
    EXPECT_EQ(refresh(next, folder).second, 0);
    EXPECT_FALSE(next.hasUnsavedChanges()) << "the file had nothing else";

    ASSERT_TRUE(QFile::remove(folder + QStringLiteral("/b.mp4")));
    EXPECT_EQ(refresh(next, folder).second, 0);
    EXPECT_TRUE(next.hasUnsavedChanges());
}

// Creation dates are shown in local time and kept as shown: a cache file written in another time
// zone (a laptop taken across zones) gives the dates of this one, its lengths kept.
TEST_F(Scanner, MakesItsCachedDatesAgainInAnotherTimeZone) {
    const QByteArray oldZone = qgetenv("TZ");
    const auto setZone = [](const QByteArray& zone) {
        if (zone.isNull())
            qunsetenv("TZ");
        else
            qputenv("TZ", zone);
        tzset();
    };
    const auto restore = qScopeGuard([&] { setZone(oldZone); });
    const QString folder = path(QStringLiteral("movies"));
    ASSERT_TRUE(QDir().mkpath(folder));
    ASSERT_TRUE(makeClip(folder + QStringLiteral("/a.mp4"), {.seconds = 1.0}));
    const QString cacheFile = path(QStringLiteral("library.cbor"));
    // POSIX zones: no time zone database is needed for them.
    setZone("UTC0");
    LibraryScanner first = scannerAt(settled);
    const auto [utcRows, measured] = refresh(first, folder);
    ASSERT_EQ(measured, 1);
    if (utcRows.at(0).time == FileStamp::undatedText())
        GTEST_SKIP() << "the file system keeps no creation time";
    ASSERT_TRUE(first.writeCacheFile(cacheFile, nullptr));

    const auto readBack = [&] {
        LibraryScanner next = scannerAt(settled);
        EXPECT_TRUE(next.readCacheFile(cacheFile));
        return refresh(next, folder);
    };
    setZone("JST-9");
    {
        LibraryScanner next = scannerAt(settled);
        ASSERT_TRUE(next.readCacheFile(cacheFile));
        EXPECT_TRUE(next.hasUnsavedChanges());  // the file is written again in this zone
    }
    const auto [tokyoRows, remeasured] = readBack();
    EXPECT_EQ(remeasured, 0);
    const QDateTime born = QFileInfo(folder + QStringLiteral("/a.mp4")).birthTime();
    EXPECT_EQ(tokyoRows.at(0).time.toStdString(), born.toString(QStringLiteral("yyyy-MM-dd HH:mm:ss")).toStdString());
    EXPECT_NE(tokyoRows.at(0).time.toStdString(), utcRows.at(0).time.toStdString());
    EXPECT_EQ(tokyoRows.at(0).duration, utcRows.at(0).duration);
    // Back in the zone the file was written in, its dates are served as they are.
    setZone("UTC0");
    EXPECT_EQ(readBack(), std::make_pair(utcRows, 0));
}

// The file is read and written as a stream, in the form any CBOR tool reads: a file made from a
// value tree, its keys in another order and with a key of a later version beside them, is taken;
// an entry that lacks a field refuses the whole file.
TEST_F(Scanner, ReadsItsCacheFileInAnyKeyOrder) {
    const QString folder = path(QStringLiteral("movies"));
    ASSERT_TRUE(QDir().mkpath(folder));
    ASSERT_TRUE(makeClip(folder + QStringLiteral("/a.mp4"), {.seconds = 1.0}));
    ASSERT_TRUE(writeFile(folder + QStringLiteral("/a.srt"), srt("Start: Kept")));
    ASSERT_TRUE(writeFile(folder + QStringLiteral("/b.mp4"), "bytes"));
    const QString cacheFile = path(QStringLiteral("library.cbor"));
    LibraryScanner first = scannerAt(settled);
    const auto [rows, measured] = refresh(first, folder);
    ASSERT_EQ(measured, 2);
    ASSERT_TRUE(first.writeCacheFile(cacheFile, nullptr));

    QFile file(cacheFile);
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    const QCborMap written = QCborValue::fromCbor(file.readAll()).toMap();
    file.close();
    ASSERT_EQ(written.value(QStringLiteral("format")).toString(), QStringLiteral("reelnook library"));
    ASSERT_EQ(written.value(QStringLiteral("movies")).toArray().size(), 2);
    ASSERT_EQ(written.value(QStringLiteral("sidecars")).toArray().size(), 1);

    const auto rewrite = [&](const QCborMap& map) {
        QCborMap reordered;
        for (const char* key : {"sidecars", "later", "movies", "version", "format"})
            if (map.contains(QLatin1String(key)))
                reordered.insert(QLatin1String(key), map.value(QLatin1String(key)));
        reordered.insert(QStringLiteral("later"), QCborMap{{QStringLiteral("x"), QByteArray("y")}});
        return writeFile(cacheFile, reordered.toCborValue().toCbor());
    };
    ASSERT_TRUE(rewrite(written));
    LibraryScanner reordered = scannerAt(settled);
    ASSERT_TRUE(reordered.readCacheFile(cacheFile));
    EXPECT_EQ(refresh(reordered, folder), std::make_pair(rows, 0));

    QCborArray movies = written.value(QStringLiteral("movies")).toArray();
    QCborMap lacking = movies.at(1).toMap();
    lacking.remove(QStringLiteral("duration"));
    movies[1] = lacking;
    QCborMap damaged = written;
    damaged.insert(QStringLiteral("movies"), movies);
    ASSERT_TRUE(rewrite(damaged));
    LibraryScanner refused = scannerAt(settled);
    EXPECT_FALSE(refused.readCacheFile(cacheFile));
    EXPECT_EQ(refresh(refused, folder).second, 2);
}

// The cache file's head names the newest movie while the folder keeps its stamp: a name added,
// removed or renamed since makes it unknown, a file written over in place does not. A head taken
// while the folder had just changed is not written at all.
TEST_F(Scanner, TrustsTheNewestMovieOfItsCacheFileOnlyWhileTheFolderIsUnchanged) {
    const struct {
        const char* change;
        std::function<bool(const QString& folder)> make;
        bool trusted;
    } cases[] = {
        {"nothing", [](const QString&) { return true; }, true},
        {"a movie written over in place",
         [](const QString& f) { return writeFile(f + QStringLiteral("/a.mp4"), "other"); }, true},
        {"a movie added", [](const QString& f) { return writeFile(f + QStringLiteral("/c.mp4"), "bytes"); }, false},
        {"a movie removed", [](const QString& f) { return QFile::remove(f + QStringLiteral("/b.mp4")); }, false},
        {"a movie renamed",
         [](const QString& f) { return QFile::rename(f + QStringLiteral("/b.mp4"), f + QStringLiteral("/d.mp4")); },
         false},
        {"a sidecar added", [](const QString& f) { return writeFile(f + QStringLiteral("/a.srt"), srt("Start: New")); },
         false},
    };
    int n = 0;
    for (const auto& c : cases) {
        SCOPED_TRACE(c.change);
        const QString folder = path(QStringLiteral("movies%1").arg(++n));
        const QString cacheFile = path(QStringLiteral("library%1.cbor").arg(n));
        ASSERT_TRUE(writeFile(folder + QStringLiteral("/a.mp4"), "bytes"));
        ASSERT_TRUE(writeFile(folder + QStringLiteral("/b.mp4"), "bytes"));
        // The folder's own time set back: a change made now cannot share its timestamp.
        setModified(folder, fileClockNowNs() - 10 * nsPerSecond);
        LibraryScanner first = scannerAt(settled);
        const auto scan = first.refreshFolder(folder);
        ASSERT_EQ(scan.movies.size(), 2);
        ASSERT_TRUE(first.writeCacheFile(cacheFile, nullptr));
        ASSERT_TRUE(c.make(folder));

        LibraryScanner next = scannerAt(settled);
        const auto newest = next.newestFromCacheFile(cacheFile, folder, 1);
        EXPECT_EQ(newest.has_value(), c.trusted);
        if (newest) {
            EXPECT_EQ(newest->url(), scan.movies.first().url());
            EXPECT_EQ(newest->time, scan.movies.first().time);
        }
        // Only for that folder, and only where it held more movies than asked for.
        EXPECT_FALSE(next.newestFromCacheFile(cacheFile, path(QStringLiteral("other")), 1));
        EXPECT_FALSE(next.newestFromCacheFile(cacheFile, folder, 2));
    }

    // Read just after the folder changed: no head, and a later refresh writes one.
    const QString folder = path(QStringLiteral("fresh"));
    const QString cacheFile = path(QStringLiteral("fresh.cbor"));
    ASSERT_TRUE(writeFile(folder + QStringLiteral("/a.mp4"), "bytes"));
    LibraryScanner now = scannerAt(0);
    now.refreshFolder(folder);
    ASSERT_TRUE(now.writeCacheFile(cacheFile, nullptr));
    EXPECT_FALSE(scannerAt(settled).newestFromCacheFile(cacheFile, folder, 0));
    LibraryScanner later = scannerAt(settled);
    ASSERT_TRUE(later.readCacheFile(cacheFile));
    later.refreshFolder(folder);
    EXPECT_TRUE(later.hasUnsavedChanges());
    ASSERT_TRUE(later.writeCacheFile(cacheFile, nullptr));
    EXPECT_TRUE(scannerAt(settled).newestFromCacheFile(cacheFile, folder, 0));
}

// A whole reading tells the newest movie once every movie is stat'ed and before the other
// sidecars are read: a sidecar written from within the call shows in the list that follows.
TEST_F(Scanner, TellsTheNewestMovieBeforeReadingTheOtherSidecars) {
    const QString folder = path(QStringLiteral("movies"));
    ASSERT_TRUE(QDir().mkpath(folder));
    // Birth times cannot be set: the newest is whichever the list puts first.
    for (int i = 0; i < 5; ++i)
        ASSERT_TRUE(writeFile(folder + QStringLiteral("/m%1.mp4").arg(i), "bytes"));
    LibraryScanner scanner = scannerAt(settled);
    int told = 0;
    QString newest;
    const auto scanned = scanner.scanFolder(folder, [&](const ScannedMovie& movie, qsizetype listed) {
        ++told;
        newest = movie.url().fileName();
        EXPECT_EQ(listed, 5);
        for (int i = 0; i < 5; ++i) {
            if (QStringLiteral("m%1.mp4").arg(i) != newest) {
                ASSERT_TRUE(writeFile(folder + QStringLiteral("/m%1.srt").arg(i), srt("Start: Later")));
            }
        }
    });
    ASSERT_TRUE(scanned.has_value());
    ASSERT_EQ(scanned->size(), 5);
    EXPECT_EQ(told, 1);
    EXPECT_EQ(scanned->first().url().fileName(), newest);
    for (const ScannedMovie& movie : *scanned)
        EXPECT_EQ(movie.text,
                  movie.url().fileName() == newest ? QFileInfo(newest).completeBaseName() : QStringLiteral("Later"));
}

// A watched folder costs what changed: an unchanged refresh reads no file, a change reads only
// the names it touched; the whole folder is read again on the slow schedule and wherever the
// folder cannot be watched.
TEST_F(Scanner, ARefreshReadsOnlyTheNamesThatChanged) {
    const QString folder = path(QStringLiteral("movies"));
    ASSERT_TRUE(QDir().mkpath(folder));
    for (int i = 0; i < 20; ++i)
        ASSERT_TRUE(writeFile(folder + QStringLiteral("/m%1.mp4").arg(i), "bytes"));
    using Outcome = LibraryScanner::FolderScan::Outcome;
    for (const bool watching : {true, false}) {
        SCOPED_TRACE(watching ? "watched" : "not watched");
        FolderWatch::setFailingForTesting(!watching);
        qint64 offset = settled;
        LibraryScanner scanner([&offset] { return fileClockNowNs() + offset; });
        EXPECT_EQ(scanner.refreshFolder(folder).movies.size(), 20);
        EXPECT_EQ(scanner.lastScanSize(), 20);

        const auto unchanged = scanner.refreshFolder(folder);
        EXPECT_EQ(unchanged.outcome, watching ? Outcome::unchanged : Outcome::listed);
        EXPECT_EQ(scanner.lastScanSize(), watching ? 0 : 20);

        ASSERT_TRUE(writeFile(folder + QStringLiteral("/m3.srt"), srt("Start: Three")));
        ASSERT_TRUE(QFile::remove(folder + QStringLiteral("/m4.mp4")));
        const auto changed = scanner.refreshFolder(folder);
        ASSERT_EQ(changed.outcome, Outcome::listed);
        EXPECT_EQ(changed.movies.size(), 19);
        EXPECT_EQ(scanner.lastScanSize(), watching ? 2 : 19);
        const auto three = std::find_if(changed.movies.cbegin(), changed.movies.cend(), [](const ScannedMovie& m) {
            return m.url().fileName() == QStringLiteral("m3.mp4");
        });
        ASSERT_NE(three, changed.movies.cend());
        EXPECT_EQ(three->text, QStringLiteral("Three"));
        ASSERT_TRUE(QFile::remove(folder + QStringLiteral("/m3.srt")));
        ASSERT_TRUE(writeFile(folder + QStringLiteral("/m4.mp4"), "bytes"));
        EXPECT_EQ(scanner.refreshFolder(folder).movies.size(), 20);

        offset += LibraryScanner::fullRescanNs;
        scanner.refreshFolder(folder);
        EXPECT_EQ(scanner.lastScanSize(), 20);
    }
    FolderWatch::setFailingForTesting(false);
}
