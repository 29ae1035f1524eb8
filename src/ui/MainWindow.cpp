#include "ui/MainWindow.h"

#include "models/MoviesViewModel.h"
#include "playback/Player.h"
#include "playback/VideoToolbarView.h"
#include "ui/ContentView.h"
#include "ui/DetailView.h"
#include "ui/NavigationSplitView.h"
#include "ui/SidebarView.h"
#include "ui/WebView.h"
#include "update/BuildInfo.h"
#include "update/VersionCheck.h"

#include <QCloseEvent>
#include <QDesktopServices>
#include <QFileInfo>
#include <QMenuBar>
#include <QShowEvent>
#include <QShortcut>
#include <QToolBar>

MainWindow::MainWindow(QWidget* parent) : QMainWindow(parent) {
    setObjectName("Default");
    sidebar_ = new SidebarView(this);
    content_ = new ContentView(this);
    detail_ = new DetailView(this);
    setCentralWidget(new NavigationSplitView(sidebar_, content_, detail_, this));
    versionPage_ = new WebView(versionUrl(), this);
    buildToolbar();
    buildMenu();
    buildShortcuts();
    sidebar_->setLeaveCheck([this] { return detail_->confirmLeavingMovie(); });
    // A mark selected in the panel takes the video to its start.
    connect(detail_, &DetailView::seekRequested, this, [this](double seconds) {
        if (Player* player = content_->player())
            player->seek(seconds);
    });
    // A movie that grew or was replaced on disk plays to its new end.
    connect(&MoviesViewModel::shared(), &QAbstractItemModel::modelReset, this, &MainWindow::followOpenMovieLength);
}

void MainWindow::followOpenMovieLength() {
    const auto open = content_->url();
    if (!open)
        return;
    for (const VideoItem& item : MoviesViewModel::shared().items())
        if (item.url == *open && content_->duration() != item.duration) {
            content_->setDuration(item.duration);
            detail_->setDuration(item.duration);
            return;
        }
}

bool MainWindow::confirmLeavingMovie() { return detail_->confirmLeavingMovie(); }

void MainWindow::saveMarksQuietly() {
    if (detail_->isModified() && !detail_->saveMarks(DetailView::Report::log))
        qWarning("The session ended with unsaved marks");
}

void MainWindow::closeEvent(QCloseEvent* event) {
    if (!confirmLeavingMovie()) {
        event->ignore();
        return;
    }
    QMainWindow::closeEvent(event);
}

void MainWindow::buildToolbar() {
    QToolBar* bar = addToolBar(tr("Toolbar"));
    bar->setObjectName("toolbar");
    bar->setMovable(false);
    bar->setFloatable(false);
    bar->toggleViewAction()->setVisible(false);
    setContextMenuPolicy(Qt::NoContextMenu);
    auto spacer = [bar] {
        auto* w = new QWidget(bar);
        w->setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Preferred);
        return w;
    };
    bar->addAction(sidebar_->toolbarAction());
    bar->addWidget(spacer());
    bar->addWidget(content_->toolbarView());
    bar->addWidget(spacer());
    bar->addAction(detail_->toolbarAction());
}

void MainWindow::buildMenu() {
    const QUrl maker(QString::fromUtf8(BuildInfo::makerAddress));
    QMenu* help = menuBar()->addMenu(tr("Help"));
    help->addAction(maker.host().isEmpty() ? maker.toString() : maker.host(), this, [maker] {
        if (maker.isValid() && !maker.isRelative())
            QDesktopServices::openUrl(maker);
    });
}

void MainWindow::buildShortcuts() {
    VideoToolbarView* transport = content_->toolbarView();
    // Window-wide keys; a focused text field keeps the keys it edits with.
    auto bind = [this](const QKeySequence& keys, auto slot) {
        auto* shortcut = new QShortcut(keys, this);
        connect(shortcut, &QShortcut::activated, this, slot);
    };
    bind(Qt::Key_Space, [transport] { transport->togglePlay(); });
    bind(Qt::Key_Left, [transport] { transport->skipBackward(); });
    bind(Qt::Key_Right, [transport] { transport->skipForward(); });
    bind(QKeySequence::Save, [this] { detail_->onSaveButton(); });
    bind(QKeySequence::Quit, [this] { close(); });
}

void MainWindow::showEvent(QShowEvent* event) {
    QMainWindow::showEvent(event);
    if (!event->spontaneous())
        versionPage_->update();
}

void MainWindow::openFiles(const QStringList& paths) {
    // One movie plays at a time: the first of the files that is one opens, the rest are left.
    for (const QString& path : paths) {
        const QFileInfo file(path);
        if (!file.isFile()) {
            qWarning("Not opened, no regular file: %s", qUtf8Printable(path));
            continue;
        }
        sidebar_->openExternalFile(QUrl::fromLocalFile(file.absoluteFilePath()));
        break;
    }
    setWindowState(windowState() & ~Qt::WindowMinimized);
    raise();
    activateWindow();
}
