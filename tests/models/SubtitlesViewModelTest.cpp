#include "models/SubtitlesViewModel.h"

#include "TestMedia.h"

#include <gtest/gtest.h>
#include <QTemporaryDir>
#include <list>

inline void PrintTo(const QString& text, std::ostream* out) { *out << '"' << text.toStdString() << '"'; }

namespace {

class SubtitlesViewModelTest : public testing::Test {
protected:
    QUrl srt(const QByteArray& bytes) {
        const QString path = dir.filePath(QStringLiteral("movie.srt"));
        EXPECT_TRUE(writeFile(path, bytes));
        return QUrl::fromLocalFile(path);
    }
    QStringList texts() const {
        QStringList result;
        for (const auto& item : model.items())
            result << item.text;
        return result;
    }

    // Counts the emissions of `signal` while the fixture lives.
    template <typename Signal>
    const int& count(Signal signal) {
        int& counter = counters.emplace_back(0);
        QObject::connect(&model, signal, &context, [&counter] { ++counter; });
        return counter;
    }

    QTemporaryDir dir;
    std::list<int> counters;
    QObject context;  // ends the connections before the counters go
    SubtitlesViewModel& model = SubtitlesViewModel::shared();
};

QByteArray cue(int start, const QByteArray& text) {
    return "0\r\n00:00:" + QByteArray::number(start).rightJustified(2, '0') + ",000 --> 00:00:59,000\r\n" + text +
           "\r\n\r\n";
}

}  // namespace

TEST_F(SubtitlesViewModelTest, LoadColoursSortsStablyAndSetsDuration) {
    model.load(srt(cue(30, "plain") + cue(10, "Mark: a mark") + cue(20, "Death: hero (F)") +
                   cue(10, "Death: villain (E)") + cue(5, "two lines\r\nMark: second") + cue(40, "Death: hero\r\n(F)") +
                   cue(41, "Death: hero\r\nx (F)") + cue(42, "Mark:") + cue(43, "mark: lower")),
               5400);
    const QStringList expected = {QStringLiteral("two lines\r\nMark: second"),
                                  QStringLiteral("Mark: a mark"),
                                  QStringLiteral("Death: villain (E)"),
                                  QStringLiteral("Death: hero (F)"),
                                  QStringLiteral("plain"),
                                  QStringLiteral("Death: hero\r\n(F)"),
                                  QStringLiteral("Death: hero\r\nx (F)"),
                                  QStringLiteral("Mark:"),
                                  QStringLiteral("mark: lower")};
    EXPECT_EQ(texts(), expected);
    const ItemColor colors[] = {ItemColor::white, ItemColor::gray,  ItemColor::orange,
                                ItemColor::green, ItemColor::white, ItemColor::green,
                                ItemColor::white, ItemColor::white, ItemColor::white};
    ASSERT_EQ(model.items().size(), std::size(colors));
    for (qsizetype i = 0; i < model.items().size(); ++i) {
        EXPECT_EQ(model.items()[i].color, colors[i]) << model.items()[i].text.toStdString();
        EXPECT_EQ(model.items()[i].duration, 5400);
    }
    EXPECT_EQ(model.rowCount(), 9);
    EXPECT_EQ(model.data(model.index(1), SubtitlesViewModel::ColorRole).toInt(), static_cast<int>(ItemColor::gray));
    EXPECT_EQ(model.data(model.index(1), SubtitlesViewModel::TextRole).toString(), QStringLiteral("Mark: a mark"));
    EXPECT_EQ(model.data(model.index(1), SubtitlesViewModel::StartRole).toDouble(), 10);
    EXPECT_EQ(model.data(model.index(1), SubtitlesViewModel::ItemRole).value<SubtitleItem>(), model.items()[1]);
}

TEST_F(SubtitlesViewModelTest, LoadingWithoutCuesEmptiesTheList) {
    model.load(srt(cue(1, "x")), 10);
    ASSERT_EQ(model.items().size(), 1);
    const int& reset = count(&QAbstractItemModel::modelReset);
    model.load(QUrl::fromLocalFile(dir.filePath(QStringLiteral("missing.srt"))), 10);
    EXPECT_TRUE(model.items().isEmpty());
    EXPECT_EQ(reset, 1);
}

TEST_F(SubtitlesViewModelTest, AddItemInsertsInStartOrderAsOneRow) {
    model.load(srt(cue(10, "a") + cue(20, "b") + cue(30, "c")), 60);
    const int& inserted = count(&QAbstractItemModel::rowsInserted);
    const int& reset = count(&QAbstractItemModel::modelReset);
    const int& changed = count(&SubtitlesViewModel::itemsChanged);
    QStringList seenAtInsert;
    QObject::connect(&model, &QAbstractItemModel::rowsInserted, &context, [&] { seenAtInsert = texts(); });

    // After the items of the same start, as a stable sort would put it.
    const SubtitleItem added(20, 22, QStringLiteral("new"), ItemColor::gray, 60);
    EXPECT_EQ(model.addItem(added), 2);
    const QStringList expected{QStringLiteral("a"), QStringLiteral("b"), QStringLiteral("new"), QStringLiteral("c")};
    EXPECT_EQ(seenAtInsert, expected);
    EXPECT_EQ(texts(), expected);
    EXPECT_EQ(inserted, 1);
    EXPECT_EQ(reset, 0);
    EXPECT_EQ(changed, 1);
    EXPECT_EQ(model.items()[2].color, ItemColor::gray);
    EXPECT_EQ(model.rowOf(added), 2);
    EXPECT_EQ(model.rowOf(SubtitleItem(20, 22, QStringLiteral("new"), ItemColor::gray, 60)), std::nullopt);

    model.addItem(SubtitleItem(15, 17, QStringLiteral("between"), ItemColor::gray, 60));
    EXPECT_EQ(texts(), (QStringList{QStringLiteral("a"), QStringLiteral("between"), QStringLiteral("b"),
                                    QStringLiteral("new"), QStringLiteral("c")}));
}

TEST_F(SubtitlesViewModelTest, RemoveItemKeepsOrderAndIgnoresBadRows) {
    model.load(srt(cue(10, "a") + cue(20, "b") + cue(30, "c")), 60);
    const int& removed = count(&QAbstractItemModel::rowsRemoved);
    model.removeItem(1);
    EXPECT_EQ(texts(), (QStringList{QStringLiteral("a"), QStringLiteral("c")}));
    model.removeItem(-1);
    model.removeItem(2);
    EXPECT_EQ(texts(), (QStringList{QStringLiteral("a"), QStringLiteral("c")}));
    EXPECT_EQ(removed, 1);
}

TEST_F(SubtitlesViewModelTest, AStartedLoadTakesOnlyItsOwnItemsBesideMarksAddedMeanwhile) {
    model.load(srt(cue(10, "old movie")), 60);
    const QList<SubtitleItem> read = SubtitlesViewModel::readItems(srt(cue(30, "c") + cue(10, "a")), 90);
    ASSERT_EQ(read.size(), 2);
    const int& loading = count(&SubtitlesViewModel::loadingChanged);

    const quint64 left = model.startLoading(90);
    EXPECT_TRUE(model.isLoading());
    EXPECT_TRUE(model.items().isEmpty());
    const quint64 current = model.startLoading(90);  // another movie was opened meanwhile
    EXPECT_FALSE(model.takeLoaded(left, read));
    EXPECT_TRUE(model.items().isEmpty());
    EXPECT_TRUE(model.isLoading());

    model.addItem(SubtitleItem(20, 22, QStringLiteral("added while loading"), ItemColor::gray, 90));
    model.setMovieDuration(120);  // the movie grew on disk meanwhile
    EXPECT_TRUE(model.takeLoaded(current, read));
    EXPECT_FALSE(model.isLoading());
    EXPECT_EQ(texts(), (QStringList{QStringLiteral("a"), QStringLiteral("added while loading"), QStringLiteral("c")}));
    for (const SubtitleItem& item : model.items())
        EXPECT_EQ(item.duration, 120);
    EXPECT_EQ(loading, 2);  // on at the first start, off when its items came in

    // A load that arrives after it ended (it was taken, or a direct load replaced it) changes
    // nothing.
    EXPECT_FALSE(model.takeLoaded(current, read));
    const quint64 replaced = model.startLoading(90);
    model.load(srt(cue(5, "read directly")), 90);
    EXPECT_FALSE(model.isLoading());
    EXPECT_FALSE(model.takeLoaded(replaced, read));
    EXPECT_EQ(texts(), QStringList{QStringLiteral("read directly")});
}
