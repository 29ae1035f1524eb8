#include "ui/SidebarView.h"

#include "core/AppState.h"
#include "core/Events.h"
#include "core/Records.h"
#include "models/MovieFiles.h"
#include "models/MoviesViewModel.h"
#include "models/SidecarLoader.h"
#include "playback/Symbols.h"
#include "ui/FileViewer.h"
#include "ui/IndexListView.h"
#include "ui/MovieRowDelegate.h"
#include "ui/PaneSlider.h"

#include <QAction>
#include <QDir>
#include <QFileInfo>
#include <QLabel>
#include <QMenu>
#include <QMessageBox>
#include <QStackedWidget>
#include <QTabBar>
#include <QTabWidget>
#include <QTimer>
#include <QVBoxLayout>

SidebarView::SidebarView(QWidget* parent) : QWidget(parent) {
    toggleAction_ = new QAction(symbolIcon(QStringLiteral("sidebar.left")), tr("Library"), this);
    toggleAction_->setToolTip(tr("Show or hide the library"));
    connect(toggleAction_, &QAction::triggered, this, [this] { setShowTabs(!showTabs()); });

    list_ = new IndexListView(this);
    list_->setModel(&MoviesViewModel::shared());
    list_->setItemDelegate(new MovieRowDelegate(list_));
    list_->setUniformItemSizes(true);
    list_->setFrameShape(QFrame::NoFrame);
    list_->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    list_->setContextMenuPolicy(Qt::CustomContextMenu);
    list_->setStyleSheet(QStringLiteral("QListView { background: transparent; }"));
    connect(list_, &QListView::customContextMenuRequested, this, &SidebarView::showContextMenu);
    connect(list_, &IndexListView::picked, this, [this](int row) { selectRow(row); });

    emptyHint_ = new QLabel(this);
    emptyHint_->setObjectName("emptyLibraryHint");
    emptyHint_->setWordWrap(true);
    emptyHint_->setAlignment(Qt::AlignCenter);
    emptyHint_->setMargin(16);
    emptyHint_->setStyleSheet(QStringLiteral("color: gray;"));
    emptyHint_->setTextInteractionFlags(Qt::TextSelectableByMouse);

    localPage_ = new QStackedWidget(this);
    localPage_->addWidget(list_);
    localPage_->addWidget(emptyHint_);

    tabs_ = new QTabWidget(this);
    tabs_->setFixedWidth(tabWidth);
    tabs_->addTab(localPage_, tr("Local"));
    tabs_->addTab(new QLabel(QString(), this), tr("Youtube"));
    tabs_->tabBar()->setTabTextColor(1, Qt::gray);

    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 3, 0, 0);
    layout->setSpacing(0);
    layout->addWidget(tabs_);
    slider_ = new PaneSlider(this, tabs_, tabWidth, true);

    const MoviesViewModel* model = &MoviesViewModel::shared();
    connect(model, &QAbstractItemModel::modelReset, this, &SidebarView::updateEmptyHint);
    connect(model, &QAbstractItemModel::rowsRemoved, this, &SidebarView::updateEmptyHint);
    connect(model, &QAbstractItemModel::rowsInserted, this, &SidebarView::updateEmptyHint);
    updateEmptyHint();

    refreshTimer_ = new QTimer(this);
    refreshTimer_->setInterval(2000);
    connect(refreshTimer_, &QTimer::timeout, this, [] { MoviesViewModel::shared().refresh(); });

    // "videoUpdated" comes once the new list is in place.
    connect(&notify(), &ApplicationEvents::videoUpdated, this, &SidebarView::findSelectionAgain, Qt::DirectConnection);
}

void SidebarView::showEvent(QShowEvent* event) {
    QWidget::showEvent(event);
    if (!refreshTimer_->isActive()) {
        MoviesViewModel::shared().refresh();
        refreshTimer_->start();
    }
}

bool SidebarView::showTabs() const { return slider_->isShown(); }

void SidebarView::setShowTabs(bool show) { slider_->setShown(show); }

void SidebarView::updateEmptyHint() {
    const bool empty = MoviesViewModel::shared().items().isEmpty();
    if (empty)
        emptyHint_->setText(
            tr("No movies yet.\n\nReelnook shows the mp4 and mov files of\n%1\n\nPlace movies there and "
               "they appear here within seconds.")
                .arg(global().moviesFolder()));
    localPage_->setCurrentWidget(empty ? static_cast<QWidget*>(emptyHint_) : list_);
}

void SidebarView::selectRow(std::optional<int> index) {
    const auto& items = MoviesViewModel::shared().items();
    if (!index || *index < 0 || *index >= items.size()) {
        setSelectedIndex(index, true);
        return;
    }
    if (index == list_->selectedIndex())
        return;
    const VideoItem picked = items[*index];
    if (!isOpen(picked.url) && !mayLeaveOpenMovie()) {
        list_->setSelectedIndex(list_->selectedIndex());  // the highlight goes back to the open movie
        return;
    }
    // The library may have changed while the question was open: find the pick again.
    const auto row = rowOf(picked.url);
    if (!row) {
        list_->setSelectedIndex(list_->selectedIndex());
        return;
    }
    // A row picked by the user also becomes the title that later searches look for.
    selectedText_ = picked.text;
    setSelectedIndex(row, true);
}

void SidebarView::setLeaveCheck(std::function<bool()> check) { leaveCheck_ = std::move(check); }

bool SidebarView::mayLeaveOpenMovie() const { return !openedURL_ || !leaveCheck_ || leaveCheck_(); }

bool SidebarView::isOpen(const QUrl& url) const { return openedURL_ && *openedURL_ == url; }

std::optional<int> SidebarView::rowOf(const QUrl& url) const {
    const auto& items = MoviesViewModel::shared().items();
    for (int i = 0; i < items.size(); ++i)
        if (items[i].url == url)
            return i;
    return std::nullopt;
}

std::optional<int> SidebarView::selectedIndex() const { return list_->selectedIndex(); }

void SidebarView::setSelectedIndex(std::optional<int> index, bool openOnChange) {
    if (index == list_->selectedIndex())
        return;
    list_->setSelectedIndex(index);
    const auto& items = MoviesViewModel::shared().items();
    if (openOnChange && index && *index >= 0 && *index < items.size())
        openVideoItem(items[*index]);
}

void SidebarView::findSelectionAgain() {
    const auto& items = MoviesViewModel::shared().items();
    if (items.isEmpty())
        return;
    // Only the first library of a launch opens a movie, and only when none is open yet (a
    // file from outside may be). After that a refresh moves the highlight, never the movie.
    if (!openedURL_) {
        selectedText_ = items.first().text;
        setSelectedIndex(0, true);
        return;
    }
    std::optional<int> found;
    for (int i = 0; selectedText_ && i < items.size(); ++i)
        if (items[i].text == *selectedText_) {
            found = i;
            break;
        }
    if (!found || !isOpen(items[*found].url))
        found = rowOf(*openedURL_);
    setSelectedIndex(found, false);
}

void SidebarView::openVideoItem(const VideoItem& item) {
    // The marks and the player's subtitle file; a large sidecar's come later, from a worker.
    SidecarLoader::shared().open(item.url, item.duration);
    openedURL_ = item.url;
    Q_EMIT notify().videoSelected(item);
}

bool SidebarView::openExternalFile(const QUrl& url) {
    if (!QFileInfo(url.toLocalFile()).isFile()) {
        qWarning("Not a movie file: %s", qUtf8Printable(url.toLocalFile()));
        return false;
    }
    if (!mayLeaveOpenMovie())
        return false;
    setShowTabs(false);
    openVideoItem(MoviesViewModel::shared().loadItem(url));
    // The library's highlight stays only where it stands on the movie now open.
    if (selectedIndex() && !isOpen(MoviesViewModel::shared().items()[*selectedIndex()].url))
        list_->setSelectedIndex(std::nullopt);
    return true;
}

void SidebarView::revealInFileManager(int index) {
    const auto& items = MoviesViewModel::shared().items();
    if (selectedIndex() != index || index < 0 || index >= items.size())
        return;
    revealInFileViewer(items[index].url);
}

void SidebarView::onDeleteFile(int index) {
    MoviesViewModel& movies = MoviesViewModel::shared();
    if (selectedIndex() != index || index < 0 || index >= movies.items().size())
        return;
    const VideoItem item = movies.items()[index];
    // Deleting the open movie (or any while none is open) opens the row that follows.
    const bool leavesOpenMovie = !openedURL_ || isOpen(item.url);
    if (leavesOpenMovie && !mayLeaveOpenMovie())
        return;
    QString error;
    if (!MovieFiles::trashMovie(item.url, movies.fileExtensions, &error)) {
        QMessageBox::warning(window(), tr("Movie Not Deleted"),
                             tr("\u201c%1\u201d could not be moved to the trash: %2")
                                 .arg(QDir::toNativeSeparators(item.url.toLocalFile()), error));
        return;
    }
    // The list may have changed while the question was open.
    const auto row = rowOf(item.url);
    if (!row)
        return;
    index = *row;
    movies.removeItem(index);
    if (movies.items().isEmpty())
        return;
    // Open what the selection now stands on, also when the index stays (row 0): the player
    // must not keep showing a movie that went to the trash.
    if (!leavesOpenMovie) {
        list_->setSelectedIndex(rowOf(*openedURL_));
        return;
    }
    const int next = std::max(index - 1, 0);
    list_->setSelectedIndex(next);
    selectedText_ = movies.items()[next].text;
    openVideoItem(movies.items()[next]);
}

void SidebarView::showContextMenu(const QPoint& pos) {
    // Only the selected row has entries; an empty menu is not shown at all.
    const auto selected = list_->selectedRowAt(pos);
    if (!selected)
        return;
    const int index = *selected;
    QMenu menu(this);
    menu.addAction(symbolIcon(QStringLiteral("doc.viewfinder")), tr("Show in Finder"), this,
                   [this, index] { revealInFileManager(index); });
    menu.addAction(symbolIcon(QStringLiteral("square.and.arrow.up")), tr("Upload To Youtube"))->setEnabled(false);
    menu.addAction(symbolIcon(QStringLiteral("trash")), tr("Delete File"), this,
                   [this, index] { onDeleteFile(index); });
    menu.exec(list_->viewport()->mapToGlobal(pos));
}
