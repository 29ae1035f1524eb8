#include "playback/Symbols.h"

#include <QApplication>
#include <QGuiApplication>
#include <QHash>
#include <QIconEngine>
#include <QPainter>
#include <QPalette>
#include <QStyle>

namespace {

struct Symbol {
    const char* themeName;
    QStyle::StandardPixmap fallback;
    const char* badge = nullptr;  // a second icon drawn small in the lower right corner
};

const QHash<QString, Symbol>& symbols() {
    static const QHash<QString, Symbol> table{
        // transport bar
        {QStringLiteral("gobackward.5"), {"media-seek-backward-symbolic", QStyle::SP_MediaSeekBackward}},
        {QStringLiteral("goforward.5"), {"media-seek-forward-symbolic", QStyle::SP_MediaSeekForward}},
        {QStringLiteral("play"), {"media-playback-start-symbolic", QStyle::SP_MediaPlay}},
        {QStringLiteral("pause"), {"media-playback-pause-symbolic", QStyle::SP_MediaPause}},
        {QStringLiteral("play.slash"), {"action-unavailable-symbolic", QStyle::SP_MediaStop}},
        {QStringLiteral("speaker.wave.3"), {"audio-volume-high-symbolic", QStyle::SP_MediaVolume}},
        {QStringLiteral("speaker.wave.2"), {"audio-volume-medium-symbolic", QStyle::SP_MediaVolume}},
        {QStringLiteral("speaker.wave.1"), {"audio-volume-low-symbolic", QStyle::SP_MediaVolume}},
        {QStringLiteral("speaker"), {"audio-speakers-symbolic", QStyle::SP_MediaVolume}},
        {QStringLiteral("speaker.slash"), {"audio-volume-muted-symbolic", QStyle::SP_MediaVolumeMuted}},
        {QStringLiteral("photo"), {"image-x-generic-symbolic", QStyle::SP_DesktopIcon}},
        {QStringLiteral("text.below.photo"), {"media-view-subtitles-symbolic", QStyle::SP_FileDialogDetailedView}},
        // window, library and subtitle panel
        {QStringLiteral("sidebar.left"), {"sidebar-show-symbolic", QStyle::SP_FileDialogListView}},
        {QStringLiteral("list.bullet"), {"view-list-bullet-symbolic", QStyle::SP_FileDialogDetailedView}},
        {QStringLiteral("arrow.up.left.and.arrow.down.right"),
         {"view-fullscreen-symbolic", QStyle::SP_TitleBarMaxButton}},
        {QStringLiteral("movieclapper"), {"video-x-generic-symbolic", QStyle::SP_FileIcon}},
        {QStringLiteral("doc.viewfinder"), {"folder-open-symbolic", QStyle::SP_DirOpenIcon}},
        {QStringLiteral("square.and.arrow.up"), {"document-send-symbolic", QStyle::SP_ArrowUp}},
        {QStringLiteral("trash"), {"user-trash-symbolic", QStyle::SP_TrashIcon}},
        {QStringLiteral("clock"), {"preferences-system-time-symbolic", QStyle::SP_FileDialogInfoView}},
        {QStringLiteral("highlighter"), {"document-edit-symbolic", QStyle::SP_FileDialogContentsView}},
        {QStringLiteral("plus"), {"list-add-symbolic", QStyle::SP_FileDialogNewFolder}},
        {QStringLiteral("minus.rectangle"), {"list-remove-symbolic", QStyle::SP_DialogDiscardButton}},
        {QStringLiteral("doc.on.doc"), {"edit-copy-symbolic", QStyle::SP_FileLinkIcon}},
        {QStringLiteral("externaldrive"), {"drive-harddisk-symbolic", QStyle::SP_DriveHDIcon}},
        {QStringLiteral("externaldrive.badge.exclamationmark"),
         {"drive-harddisk-symbolic", QStyle::SP_MessageBoxWarning, "emblem-important-symbolic"}},
    };
    return table;
}

// Symbolic theme icons are drawn in one dark colour; this engine paints their shape in the
// palette's text colour at paint time, so they follow the application's palette.
class SymbolIconEngine : public QIconEngine {
public:
    SymbolIconEngine(QIcon shape, QIcon badge) : shape_(std::move(shape)), badge_(std::move(badge)) {}

    void paint(QPainter* painter, const QRect& rect, QIcon::Mode mode, QIcon::State state) override {
        const qreal scale = painter->device() ? painter->device()->devicePixelRatioF() : 1.0;
        painter->drawPixmap(rect, scaledPixmap(rect.size(), mode, state, scale));
    }

    QPixmap pixmap(const QSize& size, QIcon::Mode mode, QIcon::State state) override {
        return scaledPixmap(size, mode, state, 1.0);
    }

    QPixmap scaledPixmap(const QSize& size, QIcon::Mode mode, QIcon::State state, qreal scale) override {
        const QSize pixels = size * scale;
        QImage image(pixels, QImage::Format_ARGB32_Premultiplied);
        image.fill(Qt::transparent);
        QPainter painter(&image);
        painter.drawPixmap(QRect(QPoint(), pixels), shape_.pixmap(pixels, QIcon::Normal, state));
        painter.setCompositionMode(QPainter::CompositionMode_SourceIn);
        painter.fillRect(image.rect(), tint(mode));
        if (!badge_.isNull()) {
            // The badge, in its own warning colour, over the lower right quarter.
            const QSize badgeSize = pixels / 2;
            QImage badge(badgeSize, QImage::Format_ARGB32_Premultiplied);
            badge.fill(Qt::transparent);
            QPainter badgePainter(&badge);
            badgePainter.drawPixmap(QRect(QPoint(), badgeSize), badge_.pixmap(badgeSize));
            badgePainter.setCompositionMode(QPainter::CompositionMode_SourceIn);
            badgePainter.fillRect(badge.rect(), QColor(255, 149, 0));
            badgePainter.end();
            painter.setCompositionMode(QPainter::CompositionMode_SourceOver);
            painter.drawImage(QPoint(pixels.width() - badgeSize.width(), pixels.height() - badgeSize.height()), badge);
        }
        painter.end();
        QPixmap result = QPixmap::fromImage(image);
        result.setDevicePixelRatio(scale);
        return result;
    }

    QSize actualSize(const QSize& size, QIcon::Mode, QIcon::State) override { return size; }
    QIconEngine* clone() const override { return new SymbolIconEngine(*this); }
    QString key() const override { return QStringLiteral("ReelnookSymbol"); }

private:
    static QColor tint(QIcon::Mode mode) {
        const QPalette palette = QGuiApplication::palette();
        switch (mode) {
        case QIcon::Disabled:
            return palette.color(QPalette::Disabled, QPalette::ButtonText);
        case QIcon::Selected:
            return palette.color(QPalette::Active, QPalette::HighlightedText);
        default:
            return palette.color(QPalette::Active, QPalette::ButtonText);
        }
    }

    QIcon shape_;
    QIcon badge_;
};

// A theme icon by name; when the desktop names no icon theme (or only the bare "hicolor"),
// Adwaita, which the program depends on, stands in.
QIcon themeIcon(const QString& name) {
    static const bool prepared = [] {
        if (QIcon::themeName().isEmpty() || QIcon::themeName() == QLatin1String("hicolor"))
            QIcon::setThemeName(QStringLiteral("Adwaita"));
        else
            QIcon::setFallbackThemeName(QStringLiteral("Adwaita"));
        return true;
    }();
    Q_UNUSED(prepared);
    return QIcon::fromTheme(name);
}

}  // namespace

QString freedesktopIconName(const QString& symbol) {
    const auto found = symbols().constFind(symbol);
    return found == symbols().constEnd() ? QString() : QString::fromLatin1(found->themeName);
}

QIcon symbolIcon(const QString& symbol) {
    static QHash<QString, QIcon> cache;
    if (const auto cached = cache.constFind(symbol); cached != cache.constEnd())
        return *cached;
    const auto found = symbols().constFind(symbol);
    if (found == symbols().constEnd())
        return {};
    QIcon icon;
    const QIcon shape = themeIcon(QString::fromLatin1(found->themeName));
    if (!shape.isNull()) {
        const QIcon badge = found->badge ? themeIcon(QString::fromLatin1(found->badge)) : QIcon();
        icon = QIcon(new SymbolIconEngine(shape, badge));
    } else if (qobject_cast<QApplication*>(QCoreApplication::instance())) {
        icon = QApplication::style()->standardIcon(found->fallback);
    }
    cache.insert(symbol, icon);
    return icon;
}
