#include "ui/ApplicationIcon.h"

#include "TestEnv.h"
#include "TestMedia.h"

#include <gtest/gtest.h>
#include <QDir>
#include <QImage>
#include <QStandardPaths>
#include <QTemporaryDir>

#include <sys/stat.h>

namespace {

QString userApplications() { return QStandardPaths::writableLocation(QStandardPaths::ApplicationsLocation); }

bool writeImage(const QString& path, QColor color) {
    QDir().mkpath(QFileInfo(path).absolutePath());
    QImage image(16, 16, QImage::Format_ARGB32);
    image.fill(color);
    return image.save(path, "PNG");
}

// The colour in the middle of the icon as drawn at 16 pixels; invalid for no icon.
QColor colorOf(const std::optional<QIcon>& icon) {
    if (!icon)
        return {};
    return icon->pixmap(16, 16).toImage().pixelColor(8, 8);
}

// Entries written under the test's own XDG folders, and an icon theme of its own.
class ApplicationIcon : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(dir.isValid());
        previousDataDirs = qgetenv("XDG_DATA_DIRS");
        previousThemePaths = QIcon::themeSearchPaths();
        previousTheme = QIcon::themeName();
        const QString theme = dir.filePath(QStringLiteral("icons/reelnook-test"));
        ASSERT_TRUE(writeFile(theme + QStringLiteral("/index.theme"),
                              "[Icon Theme]\nName=reelnook-test\nDirectories=16x16/apps\n\n"
                              "[16x16/apps]\nSize=16\nType=Fixed\n"));
        ASSERT_TRUE(writeImage(theme + QStringLiteral("/16x16/apps/org.example.Themed.png"), Qt::blue));
        QIcon::setThemeSearchPaths(QStringList(previousThemePaths) << dir.filePath(QStringLiteral("icons")));
        QIcon::setThemeName(QStringLiteral("reelnook-test"));
    }
    void TearDown() override {
        QIcon::setThemeName(previousTheme);
        QIcon::setThemeSearchPaths(previousThemePaths);
        if (previousDataDirs.isNull())
            qunsetenv("XDG_DATA_DIRS");
        else
            qputenv("XDG_DATA_DIRS", previousDataDirs);
        for (const QString& file : written)
            QFile::remove(file);
    }

    void writeEntry(const QString& folder, const QString& id, const QByteArray& body) {
        const QString path = folder + QStringLiteral("/") + id + QStringLiteral(".desktop");
        ASSERT_TRUE(writeFile(path, body));
        written << path;
    }

    QTemporaryDir dir;
    QByteArray previousDataDirs;
    QStringList previousThemePaths;
    QString previousTheme;
    QStringList written;
};

}  // namespace

TEST_F(ApplicationIcon, ReadsTheIconOfTheDesktopEntryAsPathOrThemeName) {
    const QString image = dir.filePath(QStringLiteral("pictures/red icon.png"));
    ASSERT_TRUE(writeImage(image, Qt::red));
    writeEntry(userApplications(), QStringLiteral("org.example.Painter"),
               "[Desktop Entry]\nType=Application\nName=Painter\n# Icon=org.example.Themed\n"
               "Icon[de]=org.example.Themed\nIcon = " +
                   image.toUtf8().replace(' ', "\\s") +
                   "\n\n"
                   "[Desktop Action new]\nIcon=org.example.Themed\n");
    writeEntry(userApplications(), QStringLiteral("org.example.Viewer"),
               "[Desktop Entry]\nType=Application\nIcon=org.example.Themed\n");
    writeEntry(userApplications(), QStringLiteral("org.example.Old"), "[Desktop Entry]\nIcon=org.example.Themed.png\n");

    EXPECT_EQ(colorOf(applicationIcon(QStringLiteral("org.example.Painter"))), QColor(Qt::red));
    EXPECT_EQ(colorOf(applicationIcon(QStringLiteral("org.example.Viewer"))), QColor(Qt::blue));
    EXPECT_EQ(colorOf(applicationIcon(QStringLiteral("org.example.Old"))), QColor(Qt::blue));
}

TEST_F(ApplicationIcon, UnknownHiddenOrMalformedIdentifiersHaveNoIcon) {
    writeEntry(userApplications(), QStringLiteral("org.example.Removed"),
               "[Desktop Entry]\nIcon=org.example.Themed\nHidden=true\n");
    // A file beside the applications folder, reachable only by a path in the identifier.
    ASSERT_TRUE(writeFile(QFileInfo(userApplications()).absolutePath() + QStringLiteral("/outside.desktop"),
                          "[Desktop Entry]\nIcon=org.example.Themed\n"));
    for (const QString& id : {QStringLiteral("com.apple.QuickTimePlayerX"), QStringLiteral("org.example.Removed"),
                              QStringLiteral("../outside"), QStringLiteral(""), QStringLiteral(".desktop")}) {
        SCOPED_TRACE(id.toStdString());
        EXPECT_FALSE(applicationIcon(id).has_value());
    }
}

TEST_F(ApplicationIcon, TheUsersOwnEntryHidesTheSystemOne) {
    const QString system = dir.filePath(QStringLiteral("system/applications"));
    qputenv("XDG_DATA_DIRS", QFile::encodeName(dir.filePath(QStringLiteral("system"))));
    ASSERT_TRUE(writeImage(dir.filePath(QStringLiteral("green.png")), Qt::green));
    writeEntry(system, QStringLiteral("org.example.Shared"),
               "[Desktop Entry]\nIcon=" + QFile::encodeName(dir.filePath(QStringLiteral("green.png"))) + "\n");
    writeEntry(system, QStringLiteral("org.example.SystemOnly"),
               "[Desktop Entry]\nIcon=" + QFile::encodeName(dir.filePath(QStringLiteral("green.png"))) + "\n");
    writeEntry(userApplications(), QStringLiteral("org.example.Shared"), "[Desktop Entry]\nIcon=org.example.Themed\n");

    EXPECT_EQ(colorOf(applicationIcon(QStringLiteral("org.example.Shared"))), QColor(Qt::blue));
    EXPECT_EQ(colorOf(applicationIcon(QStringLiteral("org.example.SystemOnly"))), QColor(Qt::green));
    writeEntry(userApplications(), QStringLiteral("org.example.SystemOnly"), "[Desktop Entry]\nHidden=true\n");
    EXPECT_FALSE(applicationIcon(QStringLiteral("org.example.SystemOnly")).has_value());
}

// Anything but a regular file of an entry's size named like an entry is no entry, and is not
// read: a FIFO would block the open for good, a link to /dev/zero would be read without end, and
// one long line of a huge file would be held whole.
TEST_F(ApplicationIcon, OnlyASmallRegularFileIsReadAsAnEntry) {
    const QString folder = userApplications();
    ASSERT_TRUE(QDir().mkpath(folder));
    const auto entry = [&](const QString& id) {
        written << folder + QStringLiteral("/") + id + QStringLiteral(".desktop");
        return written.constLast();
    };
    ASSERT_EQ(mkfifo(QFile::encodeName(entry(QStringLiteral("org.example.Fifo"))).constData(), 0600), 0);
    ASSERT_TRUE(QFile::link(QStringLiteral("/dev/zero"), entry(QStringLiteral("org.example.Zero"))));
    writeEntry(folder, QStringLiteral("org.example.Huge"),
               "[Desktop Entry]\nIcon=org.example.Themed\n#" + QByteArray(2 * 1024 * 1024, 'x') + "\n");
    for (const QString& id :
         {QStringLiteral("org.example.Fifo"), QStringLiteral("org.example.Zero"), QStringLiteral("org.example.Huge")}) {
        SCOPED_TRACE(id.toStdString());
        EXPECT_FALSE(applicationIcon(id).has_value());
    }
}
