#include "ui/SidebarView.h"

#include "core/AppState.h"
#include "core/Events.h"
#include "core/Records.h"
#include "models/MovieFiles.h"
#include "models/MovieFilterModel.h"
#include "models/MoviesViewModel.h"
#include "playback/Symbols.h"
#include "ui/FileViewer.h"
#include "ui/IndexListView.h"
#include "ui/MovieRowDelegate.h"
#include "ui/OpenMovie.h"
#include "ui/PaneSlider.h"

#include <QAction>
#include <QDir>
#include <QFileInfo>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMessageBox>
#include <QStackedWidget>
#include <QTabBar>
#include <QTabWidget>
#include <QTimer>
#include <QVBoxLayout>

SidebarView::SidebarView(OpenMovie& movie, QWidget* parent) : QWidget(parent), movie_(movie) {
    toggleAction_ = new QAction(symbolIcon(QStringLiteral("sidebar.left")), tr("Library"), this);
    toggleAction_->setToolTip(tr("Show or hide the library"));
    connect(toggleAction_, &QAction::triggered, this, [this] { setShowTabs(!showTabs()); });

    const MoviesViewModel* model = &MoviesViewModel::shared();
    filter_ = new MovieFilterModel(this);
    filter_->setSourceModel(&MoviesViewModel::shared());
    list_ = new IndexListView(this);
    list_->setModel(filter_);
    list_->setItemDelegate(new MovieRowDelegate(list_));
    list_->setUniformItemSizes(true);
    list_->setFrameShape(QFrame::NoFrame);
    list_->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    list_->setContextMenuPolicy(Qt::CustomContextMenu);
    list_->setStyleSheet(QStringLiteral("QListView { background: transparent; }"));
    // Up and Down look through the library; Return opens what they stand on.
    list_->setKeysPick(IndexListView::KeysPick::onReturn);
    connect(list_, &QListView::customContextMenuRequested, this, &SidebarView::showContextMenu);
    connect(list_, &IndexListView::picked, this, [this](int row) {
        if (const auto picked = libraryRow(row))
            selectRow(picked);
    });

    emptyHint_ = new QLabel(this);
    emptyHint_->setObjectName("emptyLibraryHint");
    emptyHint_->setWordWrap(true);
    emptyHint_->setAlignment(Qt::AlignCenter);
    emptyHint_->setMargin(16);
    emptyHint_->setStyleSheet(QStringLiteral("color: gray;"));
    emptyHint_->setTextInteractionFlags(Qt::TextSelectableByMouse);

    noMatchHint_ = new QLabel(this);
    noMatchHint_->setObjectName(QStringLiteral("noMatchHint"));
    noMatchHint_->setWordWrap(true);
    noMatchHint_->setAlignment(Qt::AlignHCenter | Qt::AlignTop);
    noMatchHint_->setMargin(16);
    noMatchHint_->setStyleSheet(QStringLiteral("color: gray;"));

    localPage_ = new QStackedWidget(this);
    localPage_->addWidget(list_);
    localPage_->addWidget(emptyHint_);
    localPage_->addWidget(noMatchHint_);

    buildFilterField();
    auto* local = new QWidget(this);
    auto* localLayout = new QVBoxLayout(local);
    localLayout->setContentsMargins(0, 0, 0, 0);
    localLayout->setSpacing(0);
    localLayout->addWidget(filterField_);
    localLayout->addWidget(localPage_, 1);

    tabs_ = new QTabWidget(this);
    tabs_->setFixedWidth(tabWidth);
    tabs_->addTab(local, tr("Local"));
    tabs_->addTab(new QLabel(QString(), this), tr("Youtube"));
    tabs_->tabBar()->setTabTextColor(1, Qt::gray);

    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 3, 0, 0);
    layout->setSpacing(0);
    layout->addWidget(tabs_);
    slider_ = new PaneSlider(this, tabs_, tabWidth, true);

    // After the list's own handlers, which keep its old row: the library row decides. Rows the
    // filter hides change no row of the list, so the library's own changes count too.
    const auto follow = [this](const QAbstractItemModel* rows) {
        const auto update = [this] {
            showSelection();
            updateEmptyHint();
        };
        connect(rows, &QAbstractItemModel::modelReset, this, update);
        connect(rows, &QAbstractItemModel::layoutChanged, this, update);
        connect(rows, &QAbstractItemModel::rowsRemoved, this, update);
        connect(rows, &QAbstractItemModel::rowsInserted, this, update);
    };
    follow(model);
    follow(filter_);
    updateEmptyHint();

    refreshTimer_ = new QTimer(this);
    refreshTimer_->setInterval(2000);
    connect(refreshTimer_, &QTimer::timeout, this, [] { MoviesViewModel::shared().refresh(); });

    // "videoUpdated" comes once the new list is in place.
    connect(&notify(), &ApplicationEvents::videoUpdated, this, &SidebarView::findSelectionAgain, Qt::DirectConnection);
}

void SidebarView::showEvent(QShowEvent* event) {
    QWidget::showEvent(event);
    // The folder the hint names comes from the configuration, which is read after this view
    // is made.
    updateEmptyHint();
    if (!refreshTimer_->isActive()) {
        MoviesViewModel::shared().refresh();
        refreshTimer_->start();
    }
}

bool SidebarView::showTabs() const { return slider_->isShown(); }

void SidebarView::setShowTabs(bool show) { slider_->setShown(show); }

void SidebarView::buildFilterField() {
    filterField_ = new QLineEdit(this);
    filterField_->setObjectName(QStringLiteral("libraryFilter"));
    filterField_->setPlaceholderText(tr("Filter"));
    filterField_->setClearButtonEnabled(true);
    filterField_->setToolTip(tr("Show only the movies whose title holds this text (Ctrl+F)"));
    filterField_->installEventFilter(this);
    // Not the window's first focus: the window's one-letter keys must work from the start.
    filterField_->setFocusPolicy(Qt::ClickFocus);
    // Narrows as the user types; the list keeps (or loses) its highlight by the library row.
    connect(filterField_, &QLineEdit::textChanged, this, [this](const QString& text) {
        filter_->setFilterText(text);
        Q_EMIT filterChanged();
    });
}

bool SidebarView::eventFilter(QObject* watched, QEvent* event) {
    if (watched != filterField_)
        return QWidget::eventFilter(watched, event);
    // Down goes into the results (the window's volume key does not take it here); Return opens
    // the first of them.
    if (event->type() == QEvent::ShortcutOverride && static_cast<QKeyEvent*>(event)->key() == Qt::Key_Down &&
        static_cast<QKeyEvent*>(event)->modifiers() == Qt::NoModifier) {
        event->accept();
        return true;
    }
    if (event->type() == QEvent::KeyPress && static_cast<QKeyEvent*>(event)->modifiers() == Qt::NoModifier) {
        const int key = static_cast<QKeyEvent*>(event)->key();
        if (key == Qt::Key_Down && filter_->rowCount() > 0) {
            list_->setFocus(Qt::TabFocusReason);
            if (!list_->currentIndex().isValid())
                list_->setCurrentIndex(filter_->index(0, 0));
            return true;
        }
        if ((key == Qt::Key_Return || key == Qt::Key_Enter) && filter_->rowCount() > 0) {
            // The question about unsaved marks comes after the key is handled.
            if (const auto first = libraryRow(0))
                QMetaObject::invokeMethod(
                    this, [this, row = *first] { selectRow(row); }, Qt::QueuedConnection);
            return true;
        }
    }
    const bool escape = (event->type() == QEvent::ShortcutOverride || event->type() == QEvent::KeyPress) &&
                        static_cast<QKeyEvent*>(event)->key() == Qt::Key_Escape &&
                        static_cast<QKeyEvent*>(event)->modifiers() == Qt::NoModifier;
    if (!escape)
        return QWidget::eventFilter(watched, event);
    // Esc belongs to the field, not to the window's shortcut: it clears the text, and in an
    // empty field it hands the keyboard back to the list.
    if (event->type() == QEvent::ShortcutOverride) {
        event->accept();
        return true;
    }
    if (!filterField_->text().isEmpty())
        filterField_->clear();
    else if (list_->isVisible())
        list_->setFocus(Qt::OtherFocusReason);
    else
        filterField_->clearFocus();
    return true;
}

void SidebarView::focusFilter() {
    setShowTabs(true);
    tabs_->setCurrentIndex(0);
    filterField_->setFocus(Qt::ShortcutFocusReason);
    filterField_->selectAll();
}

void SidebarView::updateEmptyHint() {
    const bool empty = MoviesViewModel::shared().items().isEmpty();
    if (empty) {
        emptyHint_->setText(
            tr("No movies yet.\n\nReelnook shows the mp4 and mov files of\n%1\n\nPlace movies there and "
               "they appear here within seconds.")
                .arg(global().moviesFolder()));
        localPage_->setCurrentWidget(emptyHint_);
        return;
    }
    if (filter_->rowCount() == 0) {
        noMatchHint_->setText(tr("No movie matches \u201c%1\u201d.").arg(filterField_->text().trimmed()));
        localPage_->setCurrentWidget(noMatchHint_);
        return;
    }
    localPage_->setCurrentWidget(list_);
}

std::optional<int> SidebarView::libraryRow(int shownRow) const {
    const QModelIndex row = filter_->mapToSource(filter_->index(shownRow, 0));
    return row.isValid() ? std::optional<int>(row.row()) : std::nullopt;
}

std::optional<int> SidebarView::shownRow(std::optional<int> libraryRow) const {
    if (!libraryRow)
        return std::nullopt;
    const QModelIndex row = filter_->mapFromSource(MoviesViewModel::shared().index(*libraryRow, 0));
    return row.isValid() ? std::optional<int>(row.row()) : std::nullopt;
}

void SidebarView::showSelection() { list_->setSelectedIndex(shownRow(selected_)); }

std::optional<int> SidebarView::adjacentRow(int direction) const {
    if (!selected_ || direction == 0)
        return std::nullopt;
    const int count = filter_->rowCount();
    if (const auto shown = shownRow(selected_)) {
        const int next = *shown + direction;
        return next >= 0 && next < count ? libraryRow(next) : std::nullopt;
    }
    // The selected movie is filtered out: the first shown one past it on that side.
    for (int i = 0; i < count; ++i) {
        const auto row = libraryRow(direction > 0 ? i : count - 1 - i);
        if (row && (direction > 0 ? *row > *selected_ : *row < *selected_))
            return row;
    }
    return std::nullopt;
}

void SidebarView::selectRow(std::optional<int> index) {
    const auto& items = MoviesViewModel::shared().items();
    if (!index || *index < 0 || *index >= items.size()) {
        setSelectedIndex(index, true);
        return;
    }
    if (index == selected_)
        return;
    const VideoItem picked = items[*index];
    if (!isOpen(picked.path) && !mayLeaveOpenMovie()) {
        showSelection();  // the highlight goes back to the open movie
        return;
    }
    // The library may have changed while the question was open: find the pick again.
    const auto row = rowOf(picked.path);
    if (!row) {
        showSelection();
        return;
    }
    // A row picked by the user also becomes the title that later searches look for.
    selectedText_ = picked.text;
    setSelectedIndex(row, true);
}

void SidebarView::setLeaveCheck(std::function<bool()> check) { leaveCheck_ = std::move(check); }

bool SidebarView::mayLeaveOpenMovie() const { return !movie_.item() || !leaveCheck_ || leaveCheck_(); }

bool SidebarView::isOpen(const QString& path) const { return movie_.isOpen(path); }

std::optional<int> SidebarView::rowOf(const QString& path) const {
    const auto& items = MoviesViewModel::shared().items();
    for (int i = 0; i < items.size(); ++i)
        if (items[i].path == path)
            return i;
    return std::nullopt;
}

void SidebarView::setSelectedIndex(std::optional<int> index, bool openOnChange) {
    if (index == selected_) {
        showSelection();  // where the list shows it now
        return;
    }
    selected_ = index;
    showSelection();
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
    if (!movie_.item()) {
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
    if (!found || !isOpen(items[*found].path))
        found = rowOf(movie_.item()->path);
    setSelectedIndex(found, false);
}

void SidebarView::openVideoItem(const VideoItem& item) { movie_.open(item); }

bool SidebarView::openExternalFile(const QUrl& url, Leave leave) {
    if (!QFileInfo(url.toLocalFile()).isFile()) {
        qWarning("Not a movie file: %s", qUtf8Printable(url.toLocalFile()));
        return false;
    }
    if (leave == Leave::ask && !mayLeaveOpenMovie())
        return false;
    setShowTabs(false);
    openVideoItem(MoviesViewModel::shared().loadItem(url));
    // The library's selection stays only where it stands on the movie now open.
    const auto& items = MoviesViewModel::shared().items();
    if (selected_ && (*selected_ < 0 || *selected_ >= items.size() || !isOpen(items[*selected_].path))) {
        selected_.reset();
        showSelection();
    }
    return true;
}

void SidebarView::revealInFileManager(int index) {
    const auto& items = MoviesViewModel::shared().items();
    if (selected_ != index || index < 0 || index >= items.size())
        return;
    revealInFileViewer(items[index].url());
}

void SidebarView::onDeleteFile(int index) {
    MoviesViewModel& movies = MoviesViewModel::shared();
    if (selected_ != index || index < 0 || index >= movies.items().size())
        return;
    const VideoItem item = movies.items()[index];
    // Deleting the open movie (or any while none is open) opens the row that follows.
    const bool leavesOpenMovie = !movie_.item() || isOpen(item.path);
    if (leavesOpenMovie && !mayLeaveOpenMovie())
        return;
    QString error;
    if (!MovieFiles::trashMovie(item.url(), &error)) {
        QMessageBox::warning(
            window(), tr("Movie Not Deleted"),
            tr("\u201c%1\u201d could not be moved to the trash: %2").arg(QDir::toNativeSeparators(item.path), error));
        return;
    }
    // The list may have changed while the question was open.
    const auto row = rowOf(item.path);
    if (!row)
        return;
    index = *row;
    const auto shownBefore = shownRow(index);
    movies.removeItem(index);
    if (movies.items().isEmpty())
        return;
    // Open what the selection now stands on, also when the index stays (row 0): the player
    // must not keep showing a movie that went to the trash.
    if (!leavesOpenMovie) {
        selected_ = rowOf(movie_.item()->path);
        showSelection();
        return;
    }
    // The shown row before the deleted one, or the first; with no row shown any more, the
    // library's row before it (hidden by the filter, but the player must move on).
    std::optional<int> next;
    if (const int shown = filter_->rowCount(); shown > 0)
        next = libraryRow(std::min(std::max(shownBefore.value_or(0) - 1, 0), shown - 1));
    if (!next)
        next = std::max(index - 1, 0);
    selected_ = next;
    showSelection();
    selectedText_ = movies.items()[*next].text;
    openVideoItem(movies.items()[*next]);
}

void SidebarView::showContextMenu(const QPoint& pos) {
    // Only the selected row has entries; an empty menu is not shown at all.
    const auto selected = list_->selectedRowAt(pos);
    const auto row = selected ? libraryRow(*selected) : std::nullopt;
    if (!row)
        return;
    const int index = *row;
    QMenu menu(this);
    menu.addAction(symbolIcon(QStringLiteral("doc.viewfinder")), tr("Show in File Manager"), this,
                   [this, index] { revealInFileManager(index); });
    menu.addAction(symbolIcon(QStringLiteral("square.and.arrow.up")), tr("Upload To Youtube"))->setEnabled(false);
    menu.addAction(symbolIcon(QStringLiteral("trash")), tr("Delete File"), this,
                   [this, index] { onDeleteFile(index); });
    menu.exec(list_->viewport()->mapToGlobal(pos));
}
