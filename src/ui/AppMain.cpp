#include "ui/AppMain.h"

#include "core/AppState.h"
#include "core/WorkQueues.h"
#include "models/MoviesViewModel.h"
#include "ui/AppDelegate.h"
#include "ui/DesktopLog.h"
#include "ui/MainWindow.h"
#include "ui/SingleInstance.h"
#include "ui/TerminationSignals.h"
#include "update/BuildInfo.h"

#include <QApplication>
#include <QCommandLineParser>
#include <QFileInfo>
#include <QPalette>
#include <QSessionManager>
#include <QStyleFactory>
#include <cstdio>

namespace {

struct Options {
    QStringList files;
    QString moviesDir;
};

// Parses the arguments before any window system is touched, so that --help and --version
// work without a display. Exits the process for those two and for bad options.
Options parseArguments(int argc, char** argv) {
    QStringList arguments;
    for (int i = 0; i < argc; ++i)
        arguments << QString::fromLocal8Bit(argv[i]);
    QCommandLineParser parser;
    parser.setApplicationDescription(
        QStringLiteral("Watch the movies of one folder and annotate them with timed marks."));
    const QCommandLineOption help(QStringList{QStringLiteral("h"), QStringLiteral("help")},
                                  QStringLiteral("Show this help."));
    const QCommandLineOption version(QStringList{QStringLiteral("v"), QStringLiteral("version")},
                                     QStringLiteral("Show the version."));
    const QCommandLineOption moviesDir(QStringLiteral("movies-dir"),
                                       QStringLiteral("Use DIR as the movies folder for this run."),
                                       QStringLiteral("DIR"));
    parser.addOption(help);
    parser.addOption(version);
    parser.addOption(moviesDir);
    parser.addPositionalArgument(QStringLiteral("files"), QStringLiteral("Movie files to open."),
                                 QStringLiteral("[FILE...]"));
    if (!parser.parse(arguments)) {
        std::fprintf(stderr, "%s\n", qPrintable(parser.errorText()));
        std::exit(2);
    }
    if (parser.isSet(help)) {
        // No application object exists yet, so Qt cannot name the program itself.
        std::printf("%s", qPrintable(parser.helpText().replace(QStringLiteral("<executable_name>"),
                                                               QStringLiteral("reelnook"))));
        std::exit(0);
    }
    if (parser.isSet(version)) {
        std::printf("%s %s\n", BuildInfo::name, BuildInfo::version);
        std::exit(0);
    }
    Options options;
    // Only regular files are movies to open; anything else is named once and left out.
    for (const QString& file : parser.positionalArguments()) {
        const QFileInfo info(file);
        if (info.isFile())
            options.files << info.absoluteFilePath();
        else
            std::fprintf(stderr, "reelnook: %s: %s\n", qPrintable(file),
                         info.exists() ? "not a regular file, not opened" : "no such file");
    }
    options.moviesDir = parser.value(moviesDir);
    return options;
}

}  // namespace

void applyDarkTheme(QApplication& app) {
    app.setStyle(QStyleFactory::create(QStringLiteral("Fusion")));
    QPalette p;
    const QColor window(37, 37, 38), base(28, 28, 30), text(230, 230, 230), disabled(120, 120, 120);
    p.setColor(QPalette::Window, window);
    p.setColor(QPalette::WindowText, text);
    p.setColor(QPalette::Base, base);
    p.setColor(QPalette::AlternateBase, window);
    p.setColor(QPalette::ToolTipBase, base);
    p.setColor(QPalette::ToolTipText, text);
    p.setColor(QPalette::PlaceholderText, disabled);
    p.setColor(QPalette::Text, text);
    p.setColor(QPalette::Button, QColor(50, 50, 52));
    p.setColor(QPalette::ButtonText, text);
    p.setColor(QPalette::BrightText, Qt::red);
    p.setColor(QPalette::Link, QColor(90, 160, 255));
    p.setColor(QPalette::Highlight, QColor(64, 96, 150));
    p.setColor(QPalette::HighlightedText, Qt::white);
    for (auto role : {QPalette::WindowText, QPalette::Text, QPalette::ButtonText})
        p.setColor(QPalette::Disabled, role, disabled);
    app.setPalette(p);
}

int runApplication(int argc, char** argv) {
    QCoreApplication::setApplicationName(QStringLiteral("reelnook"));
    QCoreApplication::setApplicationVersion(QString::fromLatin1(BuildInfo::version));
    const Options options = parseArguments(argc, argv);

    // A running window takes the files and this launch ends at once.
    SingleInstance instance;
    if (instance.start(options.files) == SingleInstance::Role::handedOver)
        return 0;

    QApplication app(argc, argv);
    workQueues();  // the serial work queues, before anything queues work
    // No application display name: Qt would append it to the window title.
    QGuiApplication::setDesktopFileName(QString::fromLatin1(BuildInfo::desktopId));
    applyDarkTheme(app);
    if (!options.moviesDir.isEmpty())
        global().setMoviesFolderOverride(options.moviesDir);

    MainWindow window;
    AppDelegate delegate;
    instance.listen();
    QObject::connect(&instance, &SingleInstance::filesReceived, &window, &MainWindow::openFiles);
    // The desktop session ending leaves the open movie like a quit does: unsaved marks are
    // asked about where the session allows it, and saved where it does not.
    QObject::connect(&app, &QGuiApplication::commitDataRequest, &window, [&window](QSessionManager& session) {
        if (!session.allowsInteraction()) {
            window.saveMarksQuietly();
            return;
        }
        const bool mayEnd = window.confirmLeavingMovie();
        session.release();
        if (!mayEnd)
            session.cancel();
    });
    QObject::connect(&app, &QCoreApplication::aboutToQuit, &delegate, &AppDelegate::cleanUp);
    // A termination signal ends the program as the session ending does when it allows no
    // question: unsaved marks are saved, and the quit cleans the cache.
    TerminationSignals terminations;
    QObject::connect(&terminations, &TerminationSignals::received, &window, [&window](int signalNumber) {
        qCInfo(lcDesktop, "Ending on signal %d", signalNumber);
        window.saveMarksQuietly();
        QCoreApplication::quit();
    });

    window.placeOnScreen();
    // Configuration first, then the library's first scan: it lists the folder on its worker
    // while the window is built and shown, so that the newest movie opens with the first turn
    // of the event loop.
    delegate.startUp(&window);
    MoviesViewModel::shared().refresh();
    // A movie given on the command line is open before the library's first list can arrive
    // (it comes back through the event loop), which then only moves the highlight.
    if (!options.files.isEmpty())
        window.openFiles(options.files);
    window.show();
    return app.exec();
}
