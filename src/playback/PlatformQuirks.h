#pragma once

#include <QStringView>
#include <QVersionNumber>

// What the windowing platform the program runs on needs done differently from X11, decided once
// at run time from the platform's name and the Qt version in use. Each flag names a behaviour
// of Qt's Wayland support in the versions this program runs on, and the code that works around
// it reads only that flag.
struct PlatformQuirks {
    // Qt 6.4 makes a native child widget a Wayland sub-surface and never draws into it: a
    // pop-up over the video is a top-level window placed in screen coordinates.
    bool popupsAsTopLevel = false;
    // Qt before 6.8 cannot move a Wayland pop-up once it shows (the compositor placed it):
    // moving one means hiding it, moving it and showing it again.
    bool reshowToMovePopup = false;
    // Qt before 6.7 ignores Qt::WindowTransparentForInput on Wayland: a window over a widget
    // takes the pointer from it. A pop-up must never grow under the pointer, and the video's
    // window gets an input region outside itself (its mask); what reaches it all the same it
    // hands on to its widget, whose cursor it also shows.
    bool windowsTakePointer = false;
    // Qt 6.4 reports a Wayland sub-surface exposed only after a second configure event, which
    // some compositors (weston) never send: the video window draws once it is visible.
    bool childExposedLate = false;

    // The flags for the platform the application runs on (QGuiApplication::platformName()).
    static const PlatformQuirks& current();
    // The flags for `platform` under Qt `qt`.
    static PlatformQuirks of(QStringView platform, const QVersionNumber& qt);
};
