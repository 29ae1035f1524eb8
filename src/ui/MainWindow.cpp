#include "ui/MainWindow.h"

#include "core/AppState.h"
#include "core/Events.h"
#include "models/MovieFiles.h"
#include "models/ResumeStore.h"
#include "playback/Player.h"
#include "playback/Symbols.h"
#include "playback/VideoToolbarView.h"
#include "ui/ContentView.h"
#include "ui/DetailView.h"
#include "ui/MprisService.h"
#include "ui/NavigationSplitView.h"
#include "ui/OpenMovie.h"
#include "ui/ScreenSaverInhibitor.h"
#include "ui/SidebarView.h"
#include "update/BuildInfo.h"
#include "update/VersionCheck.h"

#include <QCloseEvent>
#include <QCursor>
#include <QDBusConnection>
#include <QDesktopServices>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QFileInfo>
#include <QFrame>
#include <QGuiApplication>
#include <QMenuBar>
#include <QMessageBox>
#include <QMimeData>
#include <QScreen>
#include <QShortcut>
#include <QShowEvent>
#include <QTimer>
#include <QToolBar>
#include <QUndoStack>
#include <iterator>

MainWindow::MainWindow(QWidget* parent) : QMainWindow(parent) {
    setObjectName("Default");
    movie_ = new OpenMovie(this);
    sidebar_ = new SidebarView(*movie_, this);
    content_ = new ContentView(*movie_, this);
    detail_ = new DetailView(*movie_, this);
    setCentralWidget(new NavigationSplitView(sidebar_, content_, detail_, ContentView::minimumVideoSize, this));
    versionChecker_ = new VersionChecker(this, this);
    buildToolbar();
    buildEditMenu();
    buildMenu();
    buildShortcuts();
    buildAnnotatorShortcuts();
    setAcceptDrops(true);
    // In full screen a move of the pointer (or a key) shows the transport bar, with the time,
    // the timeline and its marks, for 2 s; then it hides with the pointer, unless the pointer
    // is on it.
    pointerTimer_ = new QTimer(this);
    pointerTimer_->setSingleShot(true);
    pointerTimer_->setInterval(2000);
    connect(pointerTimer_, &QTimer::timeout, this, [this] {
        if (!isFullScreenVideo())
            return;
        if (toolbar_->isVisible() && toolbar_->rect().contains(toolbar_->mapFromGlobal(QCursor::pos()))) {
            pointerTimer_->start();
            return;
        }
        toolbar_->hide();
        content_->setCursor(Qt::BlankCursor);
    });
    connect(content_, &ContentView::pointerMoved, this, &MainWindow::showFullScreenControls);
    // An added mark is told over the picture, where the panel does not show.
    connect(movie_, &OpenMovie::markAdded, this, [this] {
        if (isFullScreenVideo() && content_->player())
            content_->player()->showMessage(tr("Mark added"));
    });
    connect(content_, &ContentView::doubleClicked, this, [this] { setFullScreenVideo(!isFullScreenVideo()); });
    connectDesktop();
    sidebar_->setLeaveCheck([this] { return detail_->confirmLeavingMovie(); });
    // A mark typed (or Esc in the entry): the keys go back to the movie.
    connect(detail_, &DetailView::typingDone, this, [this] { content_->setFocus(Qt::OtherFocusReason); });
    // A mark selected in the panel takes the video to its start.
    connect(detail_, &DetailView::seekRequested, this, [this](double seconds) {
        if (Player* player = content_->player())
            player->seek(seconds);
    });
}

void MainWindow::connectDesktop() {
    // Media keys and the desktop's media controls; without a session bus all runs as before.
    mpris_ = new MprisService(this);
    mpris_->registerOn(QDBusConnection::sessionBus());
    inhibitor_ = new ScreenSaverInhibitor(QDBusConnection::sessionBus(), this);
    connect(mpris_, &MprisService::raiseRequested, this, [this] { openFiles({}); });
    connect(mpris_, &MprisService::quitRequested, this, &QWidget::close);
    connect(mpris_, &MprisService::openRequested, this, [this](const QString& path) { openFiles({path}); });
    connect(mpris_, &MprisService::nextRequested, this, [this] { pickAdjacentMovie(+1); });
    connect(mpris_, &MprisService::previousRequested, this, [this] { pickAdjacentMovie(-1); });
    VideoToolbarView* transport = content_->toolbarView();
    connect(mpris_, &MprisService::volumeChangedFromBus, transport,
            [transport](double volume) { transport->changeVolumeBy(volume - transport->volumeValue()); });
    connect(
        &notify(), &ApplicationEvents::videoLoaded, this,
        [this](Player* player) {
            mpris_->setPlayer(player);
            // The screen stays on while a movie plays; a pause or the end releases it.
            disconnect(player, &Player::stateChanged, inhibitor_, nullptr);
            connect(player, &Player::stateChanged, inhibitor_,
                    [this, player] { inhibitor_->setPlaying(player->isPlaying()); });
            inhibitor_->setPlaying(player->isPlaying());
        },
        Qt::DirectConnection);
    connect(
        &notify(), &ApplicationEvents::videoSelected, this,
        [this](const VideoItem& item) {
            mpris_->setMovie(item);
            updateNavigation();
        },
        Qt::DirectConnection);
    connect(movie_, &OpenMovie::lengthChanged, mpris_, &MprisService::setMovieLength);
    connect(&notify(), &ApplicationEvents::videoUpdated, this, &MainWindow::updateNavigation, Qt::DirectConnection);
    connect(sidebar_, &SidebarView::filterChanged, this, &MainWindow::updateNavigation);
}

void MainWindow::showFullScreenControls() {
    if (!isFullScreenVideo())
        return;
    content_->unsetCursor();
    toolbar_->show();
    pointerTimer_->start();
}

void MainWindow::updateNavigation() {
    mpris_->setNavigation(sidebar_->adjacentRow(+1).has_value(), sidebar_->adjacentRow(-1).has_value());
}

void MainWindow::pickAdjacentMovie(int direction) {
    // Among the movies the library shows: a filter narrows the way too.
    if (const auto row = sidebar_->adjacentRow(direction))
        sidebar_->selectRow(*row);
    updateNavigation();
}

bool MainWindow::confirmLeavingMovie() { return detail_->confirmLeavingMovie(); }

void MainWindow::saveMarksQuietly() {
    movie_->rememberPosition();
    if (detail_->isModified() && !detail_->saveMarks(DetailView::Report::log))
        qWarning("The session ended with unsaved marks");
}

void MainWindow::closeEvent(QCloseEvent* event) {
    if (!confirmLeavingMovie()) {
        event->ignore();
        return;
    }
    movie_->rememberPosition();
    inhibitor_->setPlaying(false);  // the window goes: the screen may blank again
    QMainWindow::closeEvent(event);
}

void MainWindow::buildToolbar() {
    QToolBar* bar = addToolBar(tr("Toolbar"));
    toolbar_ = bar;
    bar->setObjectName("toolbar");
    bar->setMovable(false);
    bar->setFloatable(false);
    bar->toggleViewAction()->setVisible(false);
    setContextMenuPolicy(Qt::NoContextMenu);
    bar->addAction(sidebar_->toolbarAction());
    // The transport bar takes the width between the buttons, and its timeline grows with it.
    bar->addWidget(content_->toolbarView());
    fullScreenAction_ =
        new QAction(symbolIcon(QStringLiteral("arrow.up.left.and.arrow.down.right")), tr("Full Screen"), this);
    fullScreenAction_->setToolTip(tr("Show only the video, over the whole screen (F)"));
    connect(fullScreenAction_, &QAction::triggered, this, [this] { setFullScreenVideo(!isFullScreenVideo()); });
    bar->addAction(fullScreenAction_);
    bar->addAction(detail_->toolbarAction());
}

void MainWindow::buildMenu() {
    const QUrl maker(QString::fromUtf8(BuildInfo::makerAddress));
    QMenu* playback = menuBar()->addMenu(tr("Playback"));
    QAction* resume = playback->addAction(tr("Resume Where Left Off"));
    resume->setObjectName(QStringLiteral("resumeAction"));
    resume->setCheckable(true);
    resume->setChecked(ResumeStore::enabled(user()));
    connect(resume, &QAction::toggled, this, [](bool on) { ResumeStore::setEnabled(user(), on); });
    QMenu* help = menuBar()->addMenu(tr("Help"));
    help->addAction(tr("Keyboard Shortcuts"), QKeySequence(Qt::Key_F1), this, &MainWindow::showKeyboardShortcuts);
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
    // Keys that act on the movie also show the full-screen controls, with what they changed.
    auto bindTransport = [this, bind](const QKeySequence& keys, auto slot) {
        bind(keys, [this, slot] {
            slot();
            showFullScreenControls();
        });
    };
    bindTransport(Qt::Key_Space, [transport] { transport->togglePlay(); });
    bindTransport(Qt::Key_Left, [transport] { transport->skipBy(-VideoToolbarView::skipSeconds); });
    bindTransport(Qt::Key_Right, [transport] { transport->skipBy(VideoToolbarView::skipSeconds); });
    bind(QKeySequence::Save, [this] { detail_->onSaveButton(); });
    bind(QKeySequence::Quit, [this] { close(); });
    bind(Qt::Key_F, [this] { setFullScreenVideo(!isFullScreenVideo()); });
    bind(Qt::Key_Escape, [this] { setFullScreenVideo(false); });
    bindTransport(Qt::Key_PageUp, [this] { detail_->selectAdjacentMark(-1); });
    bindTransport(Qt::Key_PageDown, [this] { detail_->selectAdjacentMark(+1); });
    bind(Qt::Key_M, [this] { detail_->focusEntry(); });
    bindTransport(Qt::Key_Up, [transport] { transport->changeVolumeBy(+0.05); });
    bindTransport(Qt::Key_Down, [transport] { transport->changeVolumeBy(-0.05); });
    bindTransport(QKeySequence(Qt::CTRL | Qt::Key_M), [transport] { transport->toggleMute(); });
    // mpv's volume keys beside the arrows; a text field types them.
    bindTransport(Qt::Key_0, [transport] { transport->changeVolumeBy(+0.05); });
    bindTransport(Qt::Key_9, [transport] { transport->changeVolumeBy(-0.05); });
    bind(QKeySequence::Find, [this] {
        setFullScreenVideo(false);  // the library is not shown in full screen
        sidebar_->focusFilter();
    });
}

void MainWindow::buildEditMenu() {
    QMenu* edit = menuBar()->addMenu(tr("Edit"));
    QUndoStack* history = movie_->undoStack();
    QAction* undo = history->createUndoAction(this, tr("Undo"));
    undo->setObjectName(QStringLiteral("undoAction"));
    undo->setShortcut(QKeySequence::Undo);
    QAction* redo = history->createRedoAction(this, tr("Redo"));
    redo->setObjectName(QStringLiteral("redoAction"));
    redo->setShortcut(QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_Z));
    edit->addAction(undo);
    edit->addAction(redo);
    // Also on the window itself: the keys work in full screen, where the menus are hidden.
    addAction(undo);
    addAction(redo);
}

void MainWindow::buildAnnotatorShortcuts() {
    auto bind = [this](const QKeySequence& keys, auto slot) {
        auto* shortcut = new QShortcut(keys, this);
        connect(shortcut, &QShortcut::activated, this, slot);
    };
    // A key per kind of mark: the entry with the kind's words, the cursor where the name goes.
    bind(Qt::Key_K, [this] { detail_->focusEntry(QStringLiteral("Mark: ")); });
    bind(Qt::Key_D, [this] { detail_->focusEntry(QStringLiteral("Death:  (F)")); });
    bind(Qt::Key_E, [this] { detail_->focusEntry(QStringLiteral("Death:  (E)")); });
    // The selected mark, while the panel shows it.
    auto onShownMark = [this](auto change) {
        return [this, change] {
            if (detail_->showPanel())
                change();
        };
    };
    bind(Qt::Key_F2, onShownMark([this] { detail_->editSelected(DetailView::Field::text); }));
    bind(Qt::SHIFT | Qt::Key_F2, onShownMark([this] { detail_->editSelected(DetailView::Field::time); }));
    bind(Qt::Key_Delete, onShownMark([this] { detail_->deleteSelected(); }));
    bind(Qt::ALT | Qt::Key_Left, onShownMark([this] { detail_->nudgeSelected(-nudgeSeconds); }));
    bind(Qt::ALT | Qt::Key_Right, onShownMark([this] { detail_->nudgeSelected(+nudgeSeconds); }));
    auto frame = [this] { return content_->player() ? content_->player()->frameDuration() : 1.0 / 25; };
    bind(Qt::ALT | Qt::SHIFT | Qt::Key_Left, onShownMark([this, frame] { detail_->nudgeSelected(-frame()); }));
    bind(Qt::ALT | Qt::SHIFT | Qt::Key_Right, onShownMark([this, frame] { detail_->nudgeSelected(+frame()); }));
    // Frames and speed, as in mpv.
    auto withPlayer = [this](auto act) {
        return [this, act] {
            if (Player* player = content_->player())
                act(*player);
        };
    };
    bind(Qt::Key_Period, withPlayer([](Player& player) { player.stepFrame(+1); }));
    bind(Qt::Key_Comma, withPlayer([](Player& player) { player.stepFrame(-1); }));
    // The new speed is told over the picture.
    const auto setSpeed = [](Player& player, double speed) {
        player.setSpeed(speed);
        player.showMessage(tr("Speed %1\u00d7").arg(QString::number(player.speed(), 'g', 3)));
    };
    bind(Qt::Key_BracketRight,
         withPlayer([setSpeed](Player& player) { setSpeed(player, nextSpeed(player.speed(), +1)); }));
    bind(Qt::Key_BracketLeft,
         withPlayer([setSpeed](Player& player) { setSpeed(player, nextSpeed(player.speed(), -1)); }));
    bind(Qt::Key_Backspace, withPlayer([setSpeed](Player& player) { setSpeed(player, 1.0); }));
}

double MainWindow::nextSpeed(double speed, int direction) {
    static constexpr double steps[] = {0.25, 0.5, 0.75, 1.0, 1.25, 1.5, 2.0, 3.0, 4.0};
    if (direction > 0) {
        for (double step : steps)
            if (step > speed + 1e-9)
                return step;
        return Player::maxSpeed;
    }
    for (auto it = std::rbegin(steps); it != std::rend(steps); ++it)
        if (*it < speed - 1e-9)
            return *it;
    return Player::minSpeed;
}

void MainWindow::showKeyboardShortcuts() {
    const QString rows[][2] = {
        {tr("Space"), tr("Play or pause")},
        {tr("Left / Right"), tr("Back or forward 5 seconds")},
        {tr("Up / Down, 0 / 9, the wheel over the video"), tr("Volume up or down")},
        {tr("Ctrl+M, the volume button's right-click menu"), tr("Sound off or on")},
        {tr("Page Up / Page Down"), tr("Previous or next mark")},
        {tr("M"), tr("Type a mark")},
        {tr("Return (in the mark entry)"), tr("Add the mark at the current position")},
        {tr("Ctrl+S"), tr("Save the marks to the movie's SRT file")},
        {tr("Ctrl+F"), tr("Filter the library by title (Esc clears)")},
        {tr("F, double-click on the video"), tr("Full screen on or off")},
        {tr("Esc"), tr("Leave full screen")},
        // The annotator's keys.
        {tr("K / D / E"),
         tr("Type a mark of a kind: \u201cMark:\u201d, \u201cDeath: \u2026 (F)\u201d, \u201cDeath: \u2026 (E)\u201d")},
        {tr("Esc (in the mark entry)"), tr("Back to the movie, the text kept")},
        {tr("F2 / Shift+F2, double-click"), tr("Edit the selected mark's text / start time")},
        {tr("Alt+Left / Alt+Right"), tr("Move the selected mark 0.1 s earlier or later")},
        {tr("Alt+Shift+Left / Right"), tr("Move the selected mark one frame earlier or later")},
        {tr("Delete"), tr("Delete the selected mark")},
        {tr("Ctrl+Z / Ctrl+Shift+Z"), tr("Undo or redo a change to the marks")},
        {tr(". / ,"), tr("One frame forward or back")},
        {tr("[ / ] / Backspace"), tr("Slower, faster, normal speed")},
        {tr("F1"), tr("This list")},
        {tr("Ctrl+Q"), tr("Quit")},
    };
    QString table = QStringLiteral("<table cellspacing=\"6\">");
    for (const auto& row : rows)
        table += QStringLiteral("<tr><td><b>%1</b></td><td>%2</td></tr>")
                     .arg(row[0].toHtmlEscaped(), row[1].toHtmlEscaped());
    table += QStringLiteral("</table>");
    QMessageBox box(QMessageBox::NoIcon, tr("Keyboard Shortcuts"), table, QMessageBox::Close, this);
    box.setObjectName(QStringLiteral("keyboardShortcuts"));
    box.setTextFormat(Qt::RichText);
    box.exec();
}

void MainWindow::setFullScreenVideo(bool on) {
    if (on == isFullScreenVideo())
        return;
    if (on) {
        fullScreen_ = Panes{sidebar_->showTabs(), detail_->showPanel(), windowState()};
        sidebar_->hide();
        detail_->hide();
        toolbar_->hide();
        menuBar()->hide();
        for (auto* line : findChildren<QFrame*>(QStringLiteral("paneSeparator")))
            line->hide();
        showFullScreen();
        pointerTimer_->start();
        return;
    }
    const Panes panes = *std::exchange(fullScreen_, std::nullopt);
    pointerTimer_->stop();
    content_->unsetCursor();
    for (auto* line : findChildren<QFrame*>(QStringLiteral("paneSeparator")))
        line->show();
    menuBar()->show();
    toolbar_->show();
    sidebar_->show();
    detail_->show();
    sidebar_->setShowTabs(panes.tabs);
    detail_->setShowPanel(panes.panel);
    setWindowState(panes.state & ~Qt::WindowFullScreen);
}

void MainWindow::dragEnterEvent(QDragEnterEvent* event) {
    // Only movie files are taken; anything else shows the refusing pointer.
    for (const QUrl& url : event->mimeData()->urls())
        if (isMovieFile(url)) {
            event->acceptProposedAction();
            return;
        }
    event->ignore();
}

void MainWindow::dropEvent(QDropEvent* event) {
    QStringList paths;
    for (const QUrl& url : event->mimeData()->urls())
        if (isMovieFile(url))
            paths << url.toLocalFile();
    if (paths.isEmpty()) {
        event->ignore();
        return;
    }
    event->acceptProposedAction();
    // The unsaved-marks question must not run inside the drag's own event handling.
    QMetaObject::invokeMethod(
        this, [this, paths] { openFiles(paths); }, Qt::QueuedConnection);
}

bool MainWindow::isMovieFile(const QUrl& url) {
    if (!url.isLocalFile())
        return false;
    return MovieFiles::isMovieName(QFileInfo(url.toLocalFile()).fileName());
}

void MainWindow::placeOnScreen() {
    const QScreen* where = screen() ? screen() : QGuiApplication::primaryScreen();
    if (!where)
        return;
    const QRect area = where->availableGeometry();
    // The window manager's frame comes on top of the size given here.
    const QSize frame(16, 40);
    const QSize size = QSize(1280, 760).boundedTo(area.size() - frame).expandedTo(minimumSizeHint());
    resize(size);
    move(area.center() - QPoint(size.width() / 2, size.height() / 2));
}

void MainWindow::showEvent(QShowEvent* event) {
    QMainWindow::showEvent(event);
    if (event->spontaneous())
        return;
    versionChecker_->requestVersionPage();
    // The video surface starts right after the window shows, while the library's first scan
    // runs, so that the first movie opens at once.
    QTimer::singleShot(0, content_, &ContentView::prepareSurface);
}

// One movie plays at a time: the first of the files that is a regular file opens, the rest are left.
static std::optional<QUrl> firstRegularFile(const QStringList& paths) {
    for (const QString& path : paths) {
        const QFileInfo file(path);
        if (file.isFile())
            return QUrl::fromLocalFile(file.absoluteFilePath());
        qWarning("Not opened, no regular file: %s", qUtf8Printable(path));
    }
    return std::nullopt;
}

void MainWindow::openFiles(const QStringList& paths) {
    // A request that comes while the unsaved-marks question of an earlier one is open takes
    // its place: the latest wins, and the question is asked once, about the movie open now.
    latestFiles_ = paths;
    if (openingFiles_)
        return;
    openingFiles_ = true;
    const bool mayLeave = !firstRegularFile(paths) || confirmLeavingMovie();
    openingFiles_ = false;
    if (mayLeave)
        if (const auto file = firstRegularFile(std::exchange(latestFiles_, {})))
            sidebar_->openExternalFile(*file, SidebarView::Leave::asked);
    latestFiles_.clear();
    setWindowState(windowState() & ~Qt::WindowMinimized);
    raise();
    activateWindow();
}
