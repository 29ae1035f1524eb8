#include "playback/PlatformQuirks.h"

#include <QGuiApplication>

PlatformQuirks PlatformQuirks::of(QStringView platform, const QVersionNumber& qt) {
    PlatformQuirks quirks;
    // "wayland", "wayland-egl", "wayland-brcm": every flavour of Qt's Wayland plugin.
    if (!platform.startsWith(u"wayland"))
        return quirks;
    quirks.popupsAsTopLevel = true;
    quirks.reshowToMovePopup = qt < QVersionNumber(6, 8);
    quirks.windowsTakePointer = qt < QVersionNumber(6, 7);
    quirks.childExposedLate = qt < QVersionNumber(6, 5);
    return quirks;
}

const PlatformQuirks& PlatformQuirks::current() {
    static const PlatformQuirks quirks =
        of(QGuiApplication::platformName(), QVersionNumber::fromString(QString::fromLatin1(qVersion())));
    return quirks;
}
