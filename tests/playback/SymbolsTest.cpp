#include "playback/Symbols.h"

#include <gtest/gtest.h>
#include <QApplication>
#include <QImage>
#include <QPalette>

namespace {

// Every symbol name the views use.
const char* const usedSymbols[] = {
    "gobackward.5",   "goforward.5",         "play",           "pause",         "play.slash",
    "speaker.wave.3", "speaker.wave.2",      "speaker.wave.1", "speaker",       "speaker.slash",
    "photo",          "text.below.photo",    "sidebar.left",   "list.bullet",   "movieclapper",
    "doc.viewfinder", "square.and.arrow.up", "trash",          "clock",         "highlighter",
    "plus",           "minus.rectangle",     "doc.on.doc",     "externaldrive", "externaldrive.badge.exclamationmark",
};

// The colours of the opaque pixels of `icon` drawn at 32 x 32.
QSet<QRgb> inkOf(const QIcon& icon) {
    QSet<QRgb> ink;
    const QImage image = icon.pixmap(32, 32).toImage().convertToFormat(QImage::Format_ARGB32);
    for (int y = 0; y < image.height(); ++y)
        for (int x = 0; x < image.width(); ++x)
            if (qAlpha(image.pixel(x, y)) == 255)
                ink.insert(image.pixel(x, y) | 0xff000000);
    return ink;
}

TEST(Symbols, EveryUsedSymbolHasAThemeIconInThePalettesTextColour) {
    const QPalette original = QApplication::palette();
    QPalette palette = original;
    palette.setColor(QPalette::Active, QPalette::ButtonText, QColor(250, 250, 250));
    QApplication::setPalette(palette);
    for (const char* symbol : usedSymbols) {
        SCOPED_TRACE(symbol);
        const QString name = QString::fromLatin1(symbol);
        EXPECT_TRUE(freedesktopIconName(name).endsWith(QStringLiteral("-symbolic")));
        const QIcon icon = symbolIcon(name);
        ASSERT_FALSE(icon.isNull());
        const QSet<QRgb> ink = inkOf(icon);
        ASSERT_FALSE(ink.isEmpty()) << "nothing drawn";
        if (name != QStringLiteral("externaldrive.badge.exclamationmark")) {
            EXPECT_EQ(ink, QSet<QRgb>{qRgb(250, 250, 250)});
        }
    }
    // The icons follow a later change of the palette.
    palette.setColor(QPalette::Active, QPalette::ButtonText, QColor(10, 20, 30));
    QApplication::setPalette(palette);
    EXPECT_EQ(inkOf(symbolIcon(QStringLiteral("play"))), QSet<QRgb>{qRgb(10, 20, 30)});
    QApplication::setPalette(original);
}

TEST(Symbols, UnknownNamesGiveNothing) {
    EXPECT_TRUE(freedesktopIconName(QStringLiteral("no.such.symbol")).isEmpty());
    EXPECT_TRUE(symbolIcon(QStringLiteral("no.such.symbol")).isNull());
}

}  // namespace
