#include "ui/ApplicationIcon.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QStandardPaths>

namespace {

struct DesktopEntry {
    QString icon;
    bool hidden = false;
};

// A desktop-file id names a file directly inside the applications folders; anything that
// could point elsewhere is no id.
bool isDesktopFileId(const QString& id) {
    return !id.isEmpty() && !id.startsWith(u'.') && !id.contains(u'/') && !id.contains(QChar(0));
}

// Undoes the escapes of a desktop-entry string value.
QString unescaped(QStringView value) {
    QString result;
    result.reserve(value.size());
    for (qsizetype i = 0; i < value.size(); ++i) {
        if (value[i] != u'\\' || i + 1 == value.size()) {
            result.append(value[i]);
            continue;
        }
        switch (value[++i].unicode()) {
        case 's':
            result.append(u' ');
            break;
        case 'n':
            result.append(u'\n');
            break;
        case 't':
            result.append(u'\t');
            break;
        case 'r':
            result.append(u'\r');
            break;
        default:
            result.append(value[i]);
            break;
        }
    }
    return result;
}

// Far more than any desktop entry takes, translations included.
constexpr qint64 largestDesktopEntry = 1024 * 1024;

// The keys of the "[Desktop Entry]" group this lookup needs; other groups and localised keys
// ("Icon[de]") are skipped. A file larger than any entry is not read: one long line of it would
// be held whole.
std::optional<DesktopEntry> readDesktopEntry(const QString& path) {
    if (QFileInfo(path).size() > largestDesktopEntry)
        return std::nullopt;
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly | QIODevice::Text))
        return std::nullopt;
    DesktopEntry entry;
    bool inMainGroup = false;
    while (!file.atEnd()) {
        const QString line = QString::fromUtf8(file.readLine()).trimmed();
        if (line.startsWith(u'[')) {
            inMainGroup = line == u"[Desktop Entry]";
            continue;
        }
        if (!inMainGroup || line.startsWith(u'#'))
            continue;
        const qsizetype equals = line.indexOf(u'=');
        if (equals < 0)
            continue;
        const QStringView key = QStringView(line).left(equals).trimmed();
        const QStringView value = QStringView(line).mid(equals + 1).trimmed();
        if (key == u"Icon")
            entry.icon = unescaped(value);
        else if (key == u"Hidden")
            entry.hidden = value == u"true";
    }
    return entry;
}

QIcon iconNamed(const QString& icon) {
    if (icon.isEmpty())
        return {};
    if (QDir::isAbsolutePath(icon))
        return QFileInfo(icon).isFile() ? QIcon(icon) : QIcon();
    QIcon themed = QIcon::fromTheme(icon);
    // Some entries name a theme icon with its file extension.
    if (themed.isNull() && (icon.endsWith(u".png") || icon.endsWith(u".svg") || icon.endsWith(u".xpm")))
        themed = QIcon::fromTheme(icon.chopped(4));
    return themed;
}

}  // namespace

std::optional<QIcon> applicationIcon(const QString& bundleIdentifier) {
    if (!isDesktopFileId(bundleIdentifier))
        return std::nullopt;
    // locate() looks in precedence order, so a user's own entry hides the system's. It finds
    // regular files only: a FIFO or a link to a device named like an entry is none.
    const QString path =
        QStandardPaths::locate(QStandardPaths::ApplicationsLocation, bundleIdentifier + QStringLiteral(".desktop"));
    if (path.isEmpty())
        return std::nullopt;
    const auto entry = readDesktopEntry(path);
    if (!entry || entry->hidden)
        return std::nullopt;
    QIcon icon = iconNamed(entry->icon);
    if (icon.isNull())
        icon = QIcon::fromTheme(QStringLiteral("application-x-executable"));
    if (icon.isNull())
        return std::nullopt;
    return icon;
}
