// Shared main of the test executables: points HOME and the XDG folders at a fresh temporary
// folder before Qt reads them, so no test touches the user's own files, settings or trash.
#include "TestEnv.h"

#include <gtest/gtest.h>
#include <QDir>
#include <QTemporaryDir>
#include <clocale>
#include <cstdlib>

#ifdef REELNOOK_TEST_GUI
#include <QApplication>
using TestApplication = QApplication;
#else
#include <QCoreApplication>
using TestApplication = QCoreApplication;
#endif

namespace {
QString homePath;
}

QString testHome() { return homePath; }

int main(int argc, char** argv) {
    QTemporaryDir home(QDir::tempPath() + QStringLiteral("/reelnook-test-XXXXXX"));
    homePath = home.path();
    const QByteArray h = homePath.toUtf8();
    setenv("HOME", h.constData(), 1);
    setenv("XDG_CONFIG_HOME", (h + "/.config").constData(), 1);
    setenv("XDG_CACHE_HOME", (h + "/.cache").constData(), 1);
    setenv("XDG_DATA_HOME", (h + "/.local/share").constData(), 1);
    setenv("XDG_STATE_HOME", (h + "/.local/state").constData(), 1);
    setenv("XDG_RUNTIME_DIR", (h + "/runtime").constData(), 1);
    QDir().mkpath(homePath + QStringLiteral("/runtime"));
    QFile::setPermissions(homePath + QStringLiteral("/runtime"),
                          QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner);
    QDir().mkpath(homePath + QStringLiteral("/Videos"));

    testing::InitGoogleTest(&argc, argv);
    TestApplication app(argc, argv);
    std::setlocale(LC_NUMERIC, "C");
    return RUN_ALL_TESTS();
}
