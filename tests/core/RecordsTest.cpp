#include "core/Records.h"

#include <gtest/gtest.h>
#include <QSet>
#include <unordered_set>

TEST(Records, EachConstructionDrawsItsOwnIdentity) {
    const QUrl url = QUrl::fromLocalFile(QStringLiteral("/m/a.mp4"));
    VideoItem a(url, QStringLiteral("2024-01-01 10:00:00"), QStringLiteral("a"), QStringLiteral("bid"),
                ItemColor::white, 10);
    VideoItem b(url, QStringLiteral("2024-01-01 10:00:00"), QStringLiteral("a"), QStringLiteral("bid"),
                ItemColor::white, 10);
    EXPECT_NE(a.id, b.id);
    EXPECT_NE(a, b);

    SubtitleItem s(1, 2, QStringLiteral("Mark: x"), ItemColor::gray, 100);
    SubtitleItem t(1, 2, QStringLiteral("Mark: x"), ItemColor::gray, 100);
    EXPECT_NE(s.id, t.id);
    EXPECT_NE(s, t);
}

TEST(Records, CopiesAreEqualAndIndependent) {
    VideoItem a(QUrl::fromLocalFile(QStringLiteral("/m/a.mp4")), QStringLiteral("t"), QStringLiteral("a"),
                QStringLiteral("bid"), ItemColor::white, 10);
    VideoItem copy = a;
    EXPECT_EQ(copy, a);
    EXPECT_EQ(qHash(copy), qHash(a));
    EXPECT_EQ(std::hash<VideoItem>{}(copy), std::hash<VideoItem>{}(a));
    copy.color = ItemColor::gray;
    EXPECT_NE(copy, a);
    EXPECT_EQ(a.color, ItemColor::white);

    SubtitleItem s(1, 2, QStringLiteral("x"), ItemColor::white, 5);
    SubtitleItem sc = s;
    EXPECT_EQ(sc, s);
    sc.duration = 6;
    EXPECT_NE(sc, s);
    EXPECT_EQ(s.duration, 5);
}

TEST(Records, SignedZeroesCompareAndHashAlike) {
    SubtitleItem plus(0.0, 0.0, QStringLiteral("x"), ItemColor::white, 0.0);
    SubtitleItem minus = plus;
    minus.stime = -0.0;
    minus.etime = -0.0;
    minus.duration = -0.0;
    EXPECT_EQ(plus, minus);
    EXPECT_EQ(qHash(plus), qHash(minus));
    EXPECT_EQ(std::hash<SubtitleItem>{}(plus), std::hash<SubtitleItem>{}(minus));

    VideoItem v(QUrl(), QStringLiteral(""), QStringLiteral(""), QStringLiteral(""), ItemColor::white, 0.0);
    VideoItem w = v;
    w.duration = -0.0;
    EXPECT_EQ(v, w);
    EXPECT_EQ(qHash(v, 7), qHash(w, 7));
}

TEST(Records, NaNEqualsNothing) {
    SubtitleItem s(0, 0, QStringLiteral("x"), ItemColor::white, std::nan(""));
    const SubtitleItem copy = s;
    EXPECT_NE(copy, s);
}

TEST(Records, WorkInHashedContainers) {
    SubtitleItem a(1, 2, QStringLiteral("a"), ItemColor::white, 0), b(1, 2, QStringLiteral("a"), ItemColor::white, 0);
    std::unordered_set<SubtitleItem> set{a, b, a};
    EXPECT_EQ(set.size(), 2u);
    QSet<VideoItem> qset{VideoItem(), VideoItem()};
    EXPECT_EQ(qset.size(), 2);
}

TEST(Records, IdsAreDistinctRandomUuids) {
    QSet<QUuid> ids;
    for (int i = 0; i < 10000; ++i) {
        const SubtitleItem item;
        EXPECT_EQ(item.id.version(), QUuid::Random);
        EXPECT_EQ(item.id.variant(), QUuid::DCE);
        ids.insert(item.id);
    }
    EXPECT_EQ(ids.size(), 10000);
}

// A record keeps the movie's path and makes its URL when asked: names that a URL escapes or
// could read as parts of itself must come back as the same file.
TEST(Records, AMoviesURLComesBackFromItsPath) {
    const QString paths[] = {
        QStringLiteral("/m/plain.mp4"),
        QStringLiteral("/m/with space.mov"),
        QStringLiteral("/m/hash#not-a-fragment.mp4"),
        QStringLiteral("/m/question?not-a-query.mp4"),
        QStringLiteral("/m/percent%20stays.mp4"),
        QStringLiteral("/m/ümlaut и 字.MP4"),
        QStringLiteral("/m/semi;colon+plus&amp.mp4"),
    };
    for (const QString& path : paths) {
        const QUrl url = QUrl::fromLocalFile(path);
        const VideoItem fromURL(url, QStringLiteral("t"), QStringLiteral("a"), QStringLiteral("bid"), ItemColor::white,
                                1);
        EXPECT_EQ(fromURL.path, path);
        EXPECT_EQ(fromURL.url(), url) << path.toStdString();
        EXPECT_EQ(fromURL.url().toLocalFile(), path);
        // The same file as a URL parsed from its encoded text.
        const VideoItem fromText(QUrl(url.toString(QUrl::FullyEncoded)), QStringLiteral("t"), QStringLiteral("a"),
                                 QStringLiteral("bid"), ItemColor::white, 1);
        EXPECT_EQ(fromText.path, path);
        EXPECT_EQ(fromText.url(), url) << path.toStdString();
    }
    EXPECT_TRUE(VideoItem().url().isEmpty());
}
