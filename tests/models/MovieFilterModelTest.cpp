#include "models/MovieFilterModel.h"

#include "TestMedia.h"
#include "core/AppState.h"
#include "models/MoviesViewModel.h"

#include <gtest/gtest.h>
#include <QDir>
#include <QFile>
#include <QItemSelectionModel>
#include <QStringListModel>
#include <QTemporaryDir>

#include <memory>
#include <ostream>

inline void PrintTo(const QString& text, std::ostream* out) { *out << '"' << text.toStdString() << '"'; }

namespace {

// The titles the filtered list shows, top to bottom.
QStringList visible(const QAbstractItemModel& model) {
    QStringList titles;
    for (int row = 0; row < model.rowCount(); ++row)
        titles.append(model.index(row, 0).data().toString());
    return titles;
}

}  // namespace

TEST(MovieFilterModelTest, MatchesTitlesIgnoringCaseAndAccents) {
    struct Case {
        const char* filter;
        QStringList expected;
    };
    QStringListModel library({QStringLiteral("Café Society"), QStringLiteral("Les Misérables"), QStringLiteral("ÉCOLE"),
                              QStringLiteral("Office Space"), QStringLiteral("Zebra")});
    MovieFilterModel filter;
    filter.setSourceModel(&library);
    const QList<Case> cases{
        {"cafe", {QStringLiteral("Café Society")}},
        {"CAFÉ", {QStringLiteral("Café Society")}},
        {"É",
         {QStringLiteral("Café Society"), QStringLiteral("Les Misérables"), QStringLiteral("ÉCOLE"),
          QStringLiteral("Office Space"), QStringLiteral("Zebra")}},
        {"ecole", {QStringLiteral("ÉCOLE")}},
        {"ﬁce", {QStringLiteral("Office Space")}},  // a ligature in the filter
        {"e s", {QStringLiteral("Café Society"), QStringLiteral("Office Space")}},
        {"  zeb ", {QStringLiteral("Zebra")}},
        {"nothing", {}},
        {"", library.stringList()},
    };
    for (const Case& c : cases) {
        filter.setFilterText(QString::fromUtf8(c.filter));
        EXPECT_EQ(visible(filter), c.expected) << c.filter;
    }
}

// The folded titles follow every kind of change of the source, so the narrowed list always
// answers for the titles the source holds now.
TEST(MovieFilterModelTest, FollowsResetsInsertsRemovalsMovesAndEdits) {
    QStringListModel library({QStringLiteral("Alpha"), QStringLiteral("Beta")});
    MovieFilterModel filter;
    filter.setSourceModel(&library);
    filter.setFilterText(QStringLiteral("é"));
    EXPECT_EQ(visible(filter), QStringList{QStringLiteral("Beta")});

    library.setStringList({QStringLiteral("Gamma"), QStringLiteral("Delta"), QStringLiteral("Epsilon")});
    EXPECT_EQ(visible(filter), QStringList({QStringLiteral("Delta"), QStringLiteral("Epsilon")}));

    ASSERT_TRUE(library.insertRows(0, 2));
    ASSERT_TRUE(library.setData(library.index(0), QStringLiteral("Zeta")));
    ASSERT_TRUE(library.setData(library.index(1), QStringLiteral("Iota")));
    EXPECT_EQ(visible(filter),
              QStringList({QStringLiteral("Zeta"), QStringLiteral("Delta"), QStringLiteral("Epsilon")}));

    ASSERT_TRUE(library.removeRows(2, 2));  // Gamma, Delta
    EXPECT_EQ(visible(filter), QStringList({QStringLiteral("Zeta"), QStringLiteral("Epsilon")}));

    ASSERT_TRUE(library.moveRows({}, 2, 1, {}, 0));  // Epsilon first
    EXPECT_EQ(visible(filter), QStringList({QStringLiteral("Epsilon"), QStringLiteral("Zeta")}));

    ASSERT_TRUE(library.setData(library.index(1), QStringLiteral("Kappa")));  // was Zeta
    EXPECT_EQ(visible(filter), QStringList{QStringLiteral("Epsilon")});

    filter.setFilterText({});
    EXPECT_EQ(visible(filter), library.stringList());
}

// The selection stays on a movie while it stays in the list, and goes when the movie is
// filtered out.
TEST(MovieFilterModelTest, TheSelectionFollowsTheRowsThatStay) {
    QStringListModel library(
        {QStringLiteral("Alpha"), QStringLiteral("Café"), QStringLiteral("Beta"), QStringLiteral("Cafeteria")});
    MovieFilterModel filter;
    filter.setSourceModel(&library);
    QItemSelectionModel selection(&filter);
    selection.setCurrentIndex(filter.index(3, 0), QItemSelectionModel::ClearAndSelect);

    filter.setFilterText(QStringLiteral("caf"));
    ASSERT_EQ(selection.selectedIndexes().size(), 1);
    EXPECT_EQ(selection.selectedIndexes().first().data().toString(), QStringLiteral("Cafeteria"));
    EXPECT_EQ(selection.currentIndex().row(), 1);

    filter.setFilterText(QStringLiteral("beta"));
    EXPECT_TRUE(selection.selectedIndexes().isEmpty());
}

// Over the real library: rows of the narrowed list lead to the right movie for a deletion,
// and a refresh that publishes a new list keeps the filter applied to it.
TEST(MovieFilterModelTest, NarrowsTheMovieLibrary) {
    QTemporaryDir dir;
    const QString folder = dir.filePath(QStringLiteral("movies"));
    ASSERT_TRUE(QDir().mkpath(folder));
    global().setMoviesFolderOverride(folder);
    const std::unique_ptr<void, void (*)(void*)> restore(&dir, [](void*) { global().setMoviesFolderOverride({}); });
    for (const QString& name : {QStringLiteral("Café.mp4"), QStringLiteral("Zebra.mp4"), QStringLiteral("Émile.mov")})
        ASSERT_TRUE(makeClip(folder + u'/' + name, ClipShape{1.0}));
    MoviesViewModel library;
    MovieFilterModel filter;
    filter.setSourceModel(&library);
    filter.setFilterText(QStringLiteral("E"));

    library.refresh();
    ASSERT_TRUE(waitUntil([&] { return library.rowCount() == 3 && !library.isRefreshing(); }));
    QStringList shown = visible(filter);
    shown.sort();
    EXPECT_EQ(shown, QStringList({QStringLiteral("Café"), QStringLiteral("Zebra"), QStringLiteral("Émile")}));

    filter.setFilterText(QStringLiteral("cafe"));
    ASSERT_EQ(filter.rowCount(), 1);
    const int sourceRow = filter.mapToSource(filter.index(0, 0)).row();
    EXPECT_EQ(library.items()[sourceRow].text, QStringLiteral("Café"));
    library.removeItem(sourceRow);
    EXPECT_EQ(filter.rowCount(), 0);

    filter.setFilterText(QStringLiteral("EMILI"));
    EXPECT_EQ(filter.rowCount(), 0);
    ASSERT_TRUE(QFile::rename(folder + QStringLiteral("/Zebra.mp4"), folder + QStringLiteral("/Emilie.mp4")));
    library.refresh();
    ASSERT_TRUE(waitUntil([&] { return filter.rowCount() == 1; }));
    EXPECT_EQ(visible(filter), QStringList{QStringLiteral("Emilie")});
    filter.setFilterText(QStringLiteral("emile"));
    EXPECT_EQ(visible(filter), QStringList{QStringLiteral("Émile")});
}
