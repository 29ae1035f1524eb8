#include "ui/SidebarView.h"

#include "core/AppState.h"
#include "core/Events.h"
#include "core/Records.h"
#include "models/MovieFiles.h"
#include "models/MoviesViewModel.h"
#include "models/SubtitlesViewModel.h"
#include "playback/Symbols.h"
#include "subtitles/FileNaming.h"
#include "subtitles/SubtitleSRT.h"
#include "subtitles/SubtitleVTT.h"
#include "ui/FileViewer.h"
#include "ui/IndexListView.h"
#include "ui/MovieRowDelegate.h"
#include "ui/PaneSlider.h"

#include <QAction>
#include <QLabel>
#include <QMenu>
#include <QStackedWidget>
#include <QTabBar>
#include <QTabWidget>
#include <QTimer>
#include <QVBoxLayout>

SidebarView::SidebarView(QWidget* parent) : QWidget(parent) {
    toggleAction_ = new QAction(symbolIcon("sidebar.left"), tr("Library"), this);
    toggleAction_->setToolTip(tr("Show or hide the library"));
    connect(toggleAction_, &QAction::triggered, this, [this] { setShowTabs(!showTabs()); });

    list_ = new IndexListView(this);
    list_->setModel(&MoviesViewModel::shared());
    list_->setItemDelegate(new MovieRowDelegate(list_));
    list_->setUniformItemSizes(true);
    list_->setFrameShape(QFrame::NoFrame);
    list_->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    list_->setContextMenuPolicy(Qt::CustomContextMenu);
    list_->setStyleSheet("QListView { background: transparent; }");
    connect(list_, &QListView::customContextMenuRequested, this, &SidebarView::showContextMenu);
    connect(list_, &IndexListView::picked, this, [this](int row) { selectRow(row); });

    emptyHint_ = new QLabel(this);
    emptyHint_->setObjectName("emptyLibraryHint");
    emptyHint_->setWordWrap(true);
    emptyHint_->setAlignment(Qt::AlignCenter);
    emptyHint_->setMargin(16);
    emptyHint_->setStyleSheet("color: gray;");
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

    // "videoUpdated" comes before the new list is published; look 0.1 s later.
    reselectTimer_ = new QTimer(this);
    reselectTimer_->setSingleShot(true);
    reselectTimer_->setInterval(100);
    connect(reselectTimer_, &QTimer::timeout, this, &SidebarView::findSelectionAgain);
    notify().observe(Events::videoUpdated, this, [this](const QVariant&) { reselectTimer_->start(); });
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
        emptyHint_->setText(tr("No movies yet.\n\nReelnook shows the mp4 and mov files of\n%1\n\nPlace movies there and "
                               "they appear here within seconds.")
                                .arg(global().moviesFolder()));
    localPage_->setCurrentWidget(empty ? static_cast<QWidget*>(emptyHint_) : list_);
}

void SidebarView::selectRow(std::optional<int> index) {
    // A row picked by the user also becomes the title that later searches look for.
    const auto& items = MoviesViewModel::shared().items();
    if (index && *index >= 0 && *index < items.size())
        selectedText_ = items[*index].text;
    setSelectedIndex(index, true);
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
    if (!selectedIndex()) {
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
    // The open movie that only moved to another row keeps playing: move the highlight alone.
    const bool sameMovie = found && openedURL_ && items[*found].url == *openedURL_;
    setSelectedIndex(found, !sameMovie);
}

void SidebarView::openVideoItem(const VideoItem& item) {
    SubtitlesViewModel::shared().load(SubtitleSRT::sidecarURL(item.url), item.duration);
    SubtitleVTT::shared().convert(SubtitleSRT::sidecarURL(item.url), SubtitleVTT::cacheURL(item.url));
    openedURL_ = item.url;
    notify().post(Events::videoSelected, QVariant::fromValue(item));
}

void SidebarView::openExternalFile(const QUrl& url) {
    setShowTabs(false);
    MoviesViewModel separate;
    openVideoItem(separate.loadItem(url));
}

void SidebarView::onShowInFinder(int index) {
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
    MovieFiles::trash(item.url);
    MovieFiles::trash(replacingLastExtension(item.url, "srt"));
    MovieFiles::trash(replacingLastExtension(item.url, "vtt"));
    movies.removeItem(index);
    if (movies.items().isEmpty())
        return;
    // Open what the selection now stands on, also when the index stays (row 0): the player
    // must not keep showing a movie that went to the trash.
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
    menu.addAction(symbolIcon("doc.viewfinder"), tr("Show in Finder"), this, [this, index] { onShowInFinder(index); });
    menu.addAction(symbolIcon("square.and.arrow.up"), tr("Upload To Youtube"))->setEnabled(false);
    menu.addAction(symbolIcon("trash"), tr("Delete File"), this, [this, index] { onDeleteFile(index); });
    menu.exec(list_->viewport()->mapToGlobal(pos));
}
