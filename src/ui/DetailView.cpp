#include "ui/DetailView.h"

#include "core/Events.h"
#include "core/TimeFormat.h"
#include "models/SidecarLoader.h"
#include "models/SubtitlesViewModel.h"
#include "playback/ItemColors.h"
#include "playback/Symbols.h"
#include "ui/IndexListView.h"
#include "ui/OpenMovie.h"
#include "ui/PaneSlider.h"

#include <QAction>
#include <QApplication>
#include <QClipboard>
#include <QDir>
#include <QFileDialog>
#include <QFileInfo>
#include <QFrame>
#include <QGraphicsOpacityEffect>
#include <QGuiApplication>
#include <QHBoxLayout>
#include <QHelpEvent>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMessageBox>
#include <QPainter>
#include <QPushButton>
#include <QScopeGuard>
#include <QStyledItemDelegate>
#include <QToolButton>
#include <QToolTip>
#include <QVBoxLayout>
#include <algorithm>
#include <cmath>

// A mark row: its start time in gray, then "• " and the text in the mark's colour at 70 %
// opacity, italic 13 pt, one line cut with "…" (the whole text as a tooltip then, up to a
// screenful). The mark being played has a lighter background. It also edits a row in place:
// the text, or the time when the time was double-clicked or asked for; the panel takes the
// typed value.
class MarkRowDelegate : public QStyledItemDelegate {
public:
    MarkRowDelegate(DetailView& panel, IndexListView* list) : QStyledItemDelegate(list), panel_(panel) {}

    void setPlayingRow(std::optional<int> row) { playingRow_ = row; }
    void setEditedField(DetailView::Field field) { field_ = field; }

    // The part of `rect` the time takes, and the part the text takes.
    QRect timeRect(const QRect& rect) const { return {rect.left() + margin, rect.top(), timeWidth(), rect.height()}; }
    QRect textRect(const QRect& rect) const { return rect.adjusted(margin + timeWidth() + gap, 0, -margin, 0); }

protected:
    void initStyleOption(QStyleOptionViewItem* option, const QModelIndex& index) const override {
        QStyledItemDelegate::initStyleOption(option, index);
        // One line per row: the lines of a cue are shown side by side. Only the head that a
        // row can show is laid out: a cue of megabytes on one line would take seconds.
        QString text = head(index.data(SubtitlesViewModel::TextRole).toString(), shownChars);
        text.replace(QStringLiteral("\r\n"), QStringLiteral(" "));
        option->text = QStringLiteral("\u2022 ") + text;
        option->font.setItalic(true);
        option->font.setPointSize(13);
        option->textElideMode = Qt::ElideRight;
        QColor color = itemQColor(static_cast<ItemColor>(index.data(SubtitlesViewModel::ColorRole).toInt()));
        color.setAlphaF(0.7f);
        option->palette.setColor(QPalette::Text, color);
        option->palette.setColor(QPalette::HighlightedText, color);
    }

    void paint(QPainter* painter, const QStyleOptionViewItem& option, const QModelIndex& index) const override {
        QStyleOptionViewItem row = option;
        initStyleOption(&row, index);
        const QString text = row.text;
        row.text.clear();
        if (playingRow_ == index.row() && !(row.state & QStyle::State_Selected))
            painter->fillRect(row.rect, QColor(255, 255, 255, 28));
        const QWidget* view = row.widget;
        (view ? view->style() : QApplication::style())->drawControl(QStyle::CE_ItemViewItem, &row, painter, view);
        painter->save();
        painter->setFont(timeFont());
        painter->setPen(QColor(160, 160, 160, 180));
        painter->drawText(timeRect(row.rect), Qt::AlignLeft | Qt::AlignVCenter,
                          fixedFormatTimeDetail(index.data(SubtitlesViewModel::StartRole).toDouble()));
        painter->setFont(row.font);
        painter->setPen(row.palette.color(QPalette::Text));
        const QRect place = textRect(row.rect);
        painter->drawText(place, Qt::AlignLeft | Qt::AlignVCenter,
                          QFontMetrics(row.font).elidedText(text, Qt::ElideRight, place.width()));
        painter->restore();
    }

    QSize sizeHint(const QStyleOptionViewItem& option, const QModelIndex& index) const override {
        QSize size = QStyledItemDelegate::sizeHint(option, index);
        return {size.width(), size.height() + 10};
    }

    // The whole text of a row cut with "…"; no tooltip for a row shown whole.
    bool helpEvent(QHelpEvent* event, QAbstractItemView* view, const QStyleOptionViewItem& option,
                   const QModelIndex& index) override {
        if (event->type() != QEvent::ToolTip || !index.isValid())
            return QStyledItemDelegate::helpEvent(event, view, option, index);
        QStyleOptionViewItem row = option;
        initStyleOption(&row, index);
        if (QFontMetrics(row.font).horizontalAdvance(row.text) > textRect(row.rect).width())
            QToolTip::showText(event->globalPos(),
                               head(index.data(SubtitlesViewModel::TextRole).toString(), tooltipChars), view, row.rect);
        else
            QToolTip::hideText();
        return true;
    }

    QWidget* createEditor(QWidget* parent, const QStyleOptionViewItem&, const QModelIndex&) const override {
        auto* editor = new QLineEdit(parent);
        editor->setObjectName(field_ == DetailView::Field::time ? QStringLiteral("markTimeEditor")
                                                                : QStringLiteral("markTextEditor"));
        return editor;
    }

    void setEditorData(QWidget* editor, const QModelIndex& index) const override {
        auto* line = static_cast<QLineEdit*>(editor);
        line->setText(field_ == DetailView::Field::time
                          ? fixedFormatTimeDetail(index.data(SubtitlesViewModel::StartRole).toDouble())
                          : index.data(SubtitlesViewModel::TextRole).toString());
        line->selectAll();
    }

    void updateEditorGeometry(QWidget* editor, const QStyleOptionViewItem& option, const QModelIndex&) const override {
        editor->setGeometry(field_ == DetailView::Field::time ? timeRect(option.rect).adjusted(-2, 2, 8, -2)
                                                              : textRect(option.rect).adjusted(0, 2, 0, -2));
    }

    // The list's model is not written here: the panel makes the change an undoable edit of
    // the open movie. Told after the editor closed, so that a message about a bad time does
    // not open inside the editor's own event handling.
    void setModelData(QWidget* editor, QAbstractItemModel*, const QModelIndex& index) const override {
        const QString typed = static_cast<QLineEdit*>(editor)->text();
        QMetaObject::invokeMethod(
            &panel_,
            [panel = &panel_, field = field_, row = index.row(), typed] {
                if (field == DetailView::Field::time)
                    panel->setMarkTime(row, typed);
                else
                    panel->setMarkText(row, typed);
            },
            Qt::QueuedConnection);
    }

private:
    // More characters than the widest row shows, and than a tooltip can show.
    static constexpr qsizetype shownChars = 400;
    static constexpr qsizetype tooltipChars = 2000;
    // The first `chars` characters of `text` with "…" when it is longer, not cutting a
    // character of two code units in half.
    static QString head(const QString& text, qsizetype chars) {
        if (text.size() <= chars)
            return text;
        if (text.at(chars - 1).isHighSurrogate())
            --chars;
        return text.left(chars) + QChar(0x2026);
    }
    static constexpr int margin = 4;
    static constexpr int gap = 6;
    static QFont timeFont() {
        QFont font;
        font.setPointSize(10);
        return font;
    }
    static int timeWidth() { return QFontMetrics(timeFont()).horizontalAdvance(QStringLiteral("00:00:00.000")); }

    DetailView& panel_;
    std::optional<int> playingRow_;
    DetailView::Field field_ = DetailView::Field::text;
};

namespace {

QString markHint() { return QStringLiteral("Mark: enter text"); }

QFrame* divider(QWidget* parent) {
    auto* line = new QFrame(parent);
    line->setFrameShape(QFrame::HLine);
    line->setFrameShadow(QFrame::Plain);
    line->setStyleSheet(QStringLiteral("color: rgba(255, 255, 255, 40);"));
    return line;
}

QLabel* fieldIcon(const QString& symbol, QWidget* parent) {
    auto* label = new QLabel(parent);
    label->setPixmap(symbolIcon(symbol).pixmap(16, 16));
    label->setFixedWidth(22);
    label->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
    auto* effect = new QGraphicsOpacityEffect(label);
    effect->setOpacity(0.7);
    label->setGraphicsEffect(effect);
    return label;
}

}  // namespace

DetailView::DetailView(OpenMovie& movie, QWidget* parent) : QWidget(parent), movie_(movie) {
    toggleAction_ = new QAction(symbolIcon(QStringLiteral("list.bullet")), tr("Subtitles"), this);
    toggleAction_->setToolTip(tr("Show or hide the marks"));
    connect(toggleAction_, &QAction::triggered, this, [this] { setShowPanel(!showPanel()); });

    content_ = buildContent();
    auto* layout = new QHBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    layout->addWidget(content_);

    // Hidden at start: no width at all, so the content area reaches the right-hand separator.
    slider_ = new PaneSlider(this, content_, panelWidth, false);

    subscribeToEvents();
}

QWidget* DetailView::buildContent() {
    auto* content = new QWidget(this);
    content->setFixedWidth(panelWidth);
    auto* column = new QVBoxLayout(content);
    column->setContentsMargins(0, 0, 0, 0);
    column->setSpacing(0);

    auto* title = new QLabel(tr("Subtitle"), content);
    title->setAlignment(Qt::AlignCenter);
    title->setContentsMargins(0, 8, 0, 8);
    column->addWidget(title);
    column->addWidget(divider(content));
    column->addWidget(buildEditBox());
    column->addWidget(divider(content));

    notice_ = new QLabel(content);
    notice_->setObjectName(QStringLiteral("marksNotice"));
    notice_->setWordWrap(true);
    notice_->setContentsMargins(10, 8, 10, 8);
    notice_->setStyleSheet(QStringLiteral("color: rgba(255, 255, 255, 150);"));
    notice_->hide();
    column->addWidget(notice_);

    list_ = new IndexListView(content);
    list_->setModel(&movie_.marks());
    delegate_ = new MarkRowDelegate(*this, list_);
    list_->setItemDelegate(delegate_);
    // Edits start from the panel's own keys and double-clicks, which choose the text or the time.
    list_->setEditTriggers(QAbstractItemView::NoEditTriggers);
    list_->viewport()->installEventFilter(this);
    // Every row is one line in the same font: one row's size is every row's, and a list of
    // many thousand marks is laid out without measuring each.
    list_->setUniformItemSizes(true);
    list_->setFrameShape(QFrame::NoFrame);
    list_->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    list_->setContextMenuPolicy(Qt::CustomContextMenu);
    list_->setStyleSheet(QStringLiteral("QListView { background: transparent; }"));
    column->addWidget(list_, 1);
    connect(list_, &IndexListView::customContextMenuRequested, this, &DetailView::showContextMenu);
    connect(list_, &IndexListView::picked, this, [this](int row) { setSelectedIndex(row); });

    auto* saveArea = new QWidget(content);
    saveArea->setFixedWidth(240);
    saveArea->setStyleSheet(QStringLiteral("background: rgba(0, 0, 0, 51);"));
    auto* saveLayout = new QVBoxLayout(saveArea);
    saveLayout->setContentsMargins(5, 5, 5, 10);
    saveButton_ = new QPushButton(symbolIcon(QStringLiteral("externaldrive")), tr("Save modified subtitle"), saveArea);
    saveButton_->setIconSize(QSize(32, 32));
    saveButton_->setFlat(true);
    saveButton_->setToolTip(tr("Save the marks to the movie's SRT file (Ctrl+S)"));
    auto* saveOpacity = new QGraphicsOpacityEffect(saveButton_);
    saveOpacity->setOpacity(0.7);
    saveButton_->setGraphicsEffect(saveOpacity);
    saveLayout->addWidget(saveButton_, 0, Qt::AlignHCenter);
    exportButton_ = new QPushButton(tr("Export Marks\u2026"), saveArea);
    exportButton_->setFlat(true);
    exportButton_->setToolTip(tr("Save the marks as chapters or as a table for other programs"));
    saveLayout->addWidget(exportButton_, 0, Qt::AlignHCenter);
    column->addWidget(saveArea, 0, Qt::AlignHCenter);
    connect(saveButton_, &QPushButton::clicked, this, &DetailView::onSaveButton);
    connect(exportButton_, &QPushButton::clicked, this, &DetailView::exportMarks);
    return content;
}

QWidget* DetailView::buildEditBox() {
    auto* box = new QWidget(content_ ? content_ : this);
    auto* row = new QHBoxLayout(box);
    row->setContentsMargins(10, 10, 10, 10);

    auto* fields = new QVBoxLayout;
    auto* timeRow = new QHBoxLayout;
    timeField_ = new QLineEdit(box);
    timeField_->setPlaceholderText(QStringLiteral("00:00:00"));
    timeField_->setEnabled(false);
    timeRow->addWidget(fieldIcon(QStringLiteral("clock"), box));
    timeRow->addWidget(timeField_);
    auto* textRow = new QHBoxLayout;
    entry_ = new QLineEdit(box);
    entry_->setPlaceholderText(markHint());
    connect(entry_, &QLineEdit::returnPressed, this, [this] {
        if (addTypedMark())
            Q_EMIT typingDone();
    });
    entry_->installEventFilter(this);
    textRow->addWidget(fieldIcon(QStringLiteral("highlighter"), box));
    textRow->addWidget(entry_);
    fields->addLayout(timeRow);
    fields->addLayout(textRow);
    row->addLayout(fields);

    addButton_ = new QToolButton(box);
    addButton_->setIcon(symbolIcon(QStringLiteral("plus")));
    addButton_->setFixedSize(32, 42);
    addButton_->setToolTip(tr("Add a mark at the current position"));
    connect(addButton_, &QToolButton::clicked, this, &DetailView::onAddButton);
    row->addWidget(addButton_);
    return box;
}

void DetailView::subscribeToEvents() {
    connect(&movie_.marks(), &SubtitlesViewModel::loadingChanged, this, &DetailView::setLoading);
    setLoading(movie_.marks().isLoading());
    connect(&movie_, &OpenMovie::opened, this, [this] {
        seconds_ = movie_.startPosition();  // until its player reports
        timeField_->setText(fixedFormatTimeDetail(seconds_));
        entry_->clear();
        setSelectedIndex(std::nullopt);
        // The loader has decided about the sidecar by now.
        const QString refusal = SidecarLoader::shared().refusal();
        notice_->setText(refusal);
        notice_->setVisible(!refusal.isEmpty());
    });
    connect(&movie_, &OpenMovie::modifiedChanged, this, &DetailView::showModified);
    connect(&movie_, &OpenMovie::savingChanged, this, &DetailView::showSaving);
    connect(&movie_, &OpenMovie::saveFinished, this, &DetailView::tellSaved);
    connect(
        &notify(), &ApplicationEvents::videoCursorChanged, this,
        [this](double seconds) {
            seconds_ = seconds;
            timeField_->setText(fixedFormatTimeDetail(seconds_));
            showPlayingMark();
        },
        Qt::DirectConnection);
    connect(&movie_.marks(), &SubtitlesViewModel::itemsChanged, this, &DetailView::showPlayingMark);
}

void DetailView::showPlayingMark() {
    const auto& items = movie_.marks().items();
    // The latest mark begun at the position that still lasts; marks rarely overlap much, so
    // only the few before the position are looked at.
    const auto after = std::upper_bound(items.cbegin(), items.cend(), seconds_,
                                        [](double at, const SubtitleItem& item) { return at < item.stime; });
    std::optional<int> playing;
    constexpr int lookBack = 32;
    for (auto it = after; it != items.cbegin() && after - it < lookBack;) {
        --it;
        if (seconds_ < it->etime) {
            playing = int(it - items.cbegin());
            break;
        }
    }
    if (playing == playingIndex_)
        return;
    playingIndex_ = playing;
    delegate_->setPlayingRow(playing);
    list_->viewport()->update();
}

bool DetailView::showPanel() const { return slider_->isShown(); }

void DetailView::setShowPanel(bool show) { slider_->setShown(show); }

std::optional<int> DetailView::selectedIndex() const { return list_->selectedIndex(); }

void DetailView::setSelectedIndex(std::optional<int> index) {
    if (index == list_->selectedIndex())
        return;
    list_->setSelectedIndex(index);
    if (index)
        onSubtitleSelected(*index);
}

void DetailView::onSubtitleSelected(int index) {
    if (selectedIndex() != index)
        return;
    const auto& items = movie_.marks().items();
    if (index < 0 || index >= items.size())
        return;
    Q_EMIT seekRequested(items[index].stime);
}

void DetailView::selectAdjacentMark(int direction) {
    const auto& items = movie_.marks().items();
    std::optional<int> found;
    // From the selected mark while playback is still about there (position reports of the
    // seeks that led to it may still arrive), else from the position; a mark just reached
    // counts as passed.
    const auto selected = selectedIndex();
    const bool fromSelected = selected && *selected < items.size() && std::abs(items[*selected].stime - seconds_) < 1.0;
    if (fromSelected && *selected + direction >= 0 && *selected + direction < items.size())
        found = *selected + direction;
    constexpr double tolerance = 0.05;
    for (int i = 0; !fromSelected && i < items.size(); ++i) {
        const double start = items[i].stime;
        if (direction > 0 && start > seconds_ + tolerance) {
            found = i;
            break;
        }
        if (direction < 0 && start < seconds_ - tolerance)
            found = i;
    }
    if (!found)
        return;
    list_->setSelectedIndex(std::nullopt);  // selecting the same row again still seeks
    setSelectedIndex(found);
    seconds_ = items[*found].stime;
    timeField_->setText(fixedFormatTimeDetail(seconds_));
}

void DetailView::focusEntry(const QString& kind) {
    setShowPanel(true);
    entry_->setFocus(Qt::ShortcutFocusReason);
    if (kind.isEmpty())
        return;
    // The kind's words, the cursor where the name goes: after "Death: ", or at the end.
    entry_->setText(kind);
    const qsizetype name = kind.indexOf(QStringLiteral("  ("));
    entry_->setCursorPosition(int(name < 0 ? kind.size() : name + 1));
}

void DetailView::setLoading(bool loading) {
    // Until the list is in, there is nothing to add to, save or export: a mark added now, and
    // saved, would replace the file's marks with itself.
    for (QWidget* control : {static_cast<QWidget*>(entry_), static_cast<QWidget*>(addButton_),
                             static_cast<QWidget*>(saveButton_), static_cast<QWidget*>(exportButton_)})
        control->setEnabled(!loading);
    entry_->setPlaceholderText(loading ? tr("Loading marks\u2026") : markHint());
}

void DetailView::onAddButton() { addTypedMark(); }

bool DetailView::addTypedMark() {
    if (!movie_.addMark(seconds_, entry_->text()))
        return false;
    entry_->clear();
    if (movie_.isSaving())
        showSaving();  // it waits for the save: said, so that it is not thought lost
    return true;
}

void DetailView::showSaving() {
    // Said on the save button, whose size stays: a change of the list's size would lay out
    // all its rows again, which takes long with a million marks.
    const bool saving = movie_.isSaving();
    const int waiting = movie_.waitingMarks();
    saveButton_->setEnabled(!saving && !movie_.isLoading());
    saveButton_->setText(!saving       ? tr("Save modified subtitle")
                         : waiting > 0 ? tr("Saving\u2026 %n new mark(s) waiting", nullptr, waiting)
                                       : tr("Saving\u2026"));
    saveButton_->setToolTip(saving ? tr("The marks can be changed again once the file is written; marks added "
                                        "meanwhile go in then")
                                   : tr("Save the marks to the movie's SRT file (Ctrl+S)"));
}

void DetailView::editSelected(Field field) {
    const auto row = selectedIndex();
    if (!row || *row >= movie_.marks().items().size() || movie_.isLoading() || movie_.isSaving())
        return;
    setShowPanel(true);
    delegate_->setEditedField(field);
    list_->setFocus(Qt::ShortcutFocusReason);
    list_->edit(movie_.marks().index(*row));
}

bool DetailView::setMarkText(int row, const QString& typed) {
    const auto at = rowAfterSaving(row);
    if (!at)
        return false;
    row = *at;
    const QUuid id = movie_.marks().items()[row].id;
    if (!movie_.editMarkText(row, typed))
        return false;
    followMark(id, false);
    return true;
}

bool DetailView::setMarkTime(int row, const QString& typed) {
    const auto at = rowAfterSaving(row);
    if (!at)
        return false;
    row = *at;
    const auto seconds = parseTime(typed);
    const double length = movie_.length();
    if (!seconds || (length > 0 && *seconds > length)) {
        QMessageBox::warning(
            this, tr("Time Not Changed"),
            !seconds
                ? tr("“%1” is not a time. Write it as hours:minutes:seconds.milliseconds, "
                     "for example 00:01:05.250.")
                      .arg(typed)
                : tr("%1 is after the end of the movie (%2).").arg(typed.trimmed(), fixedFormatTimeDetail(length)));
        return false;
    }
    return moveMark(row, *seconds);
}

std::optional<int> DetailView::rowAfterSaving(int row) {
    const auto& items = movie_.marks().items();
    if (row < 0 || row >= items.size())
        return std::nullopt;
    if (!movie_.isSaving())
        return row;
    const SubtitleItem mark = items[row];
    movie_.finishSaving();
    return movie_.marks().rowOf(mark);
}

bool DetailView::nudgeSelected(double seconds) {
    const auto row = selectedIndex();
    const auto& items = movie_.marks().items();
    if (!row || *row >= items.size())
        return false;
    return moveMark(*row, items[*row].stime + seconds);
}

bool DetailView::moveMark(int row, double seconds) {
    const QUuid id = movie_.marks().items()[row].id;
    if (!movie_.moveMark(row, seconds))
        return false;
    followMark(id, true);
    return true;
}

void DetailView::followMark(const QUuid& id, bool seek) {
    const auto& items = movie_.marks().items();
    const auto found =
        std::find_if(items.cbegin(), items.cend(), [&id](const SubtitleItem& item) { return item.id == id; });
    if (found == items.cend())
        return;
    const int row = int(found - items.cbegin());
    list_->setSelectedIndex(row);
    list_->scrollTo(movie_.marks().index(row));
    // A moved mark shows its new first picture.
    if (seek)
        Q_EMIT seekRequested(found->stime);
}

void DetailView::deleteSelected() {
    if (const auto row = selectedIndex())
        deleteText(*row);
}

void DetailView::onSaveButton() {
    QString error;
    if (!movie_.startSave(&error))
        tellSaved(false, movie_.sidecarPath(), error, {});
}

bool DetailView::saveMarks(Report report) {
    // A save under way that ends now is told the same way as this one.
    saveReport_ = report;
    const auto restore = qScopeGuard([this] { saveReport_ = Report::dialog; });
    QString error;
    QString backup;
    const bool saved = movie_.save(&error, &backup);
    return tellSaved(saved, movie_.sidecarPath(), error, backup);
}

bool DetailView::tellSaved(bool saved, const QString& path, const QString& error, const QString& backup) {
    if (!saved) {
        const QString message =
            tr("The marks could not be saved to \u201c%1\u201d: %2").arg(QDir::toNativeSeparators(path), error);
        if (saveReport_ == Report::dialog)
            QMessageBox::warning(this, tr("Marks Not Saved"), message);
        else
            qWarning("%s", qUtf8Printable(message));
        return false;
    }
    if (!backup.isEmpty() && saveReport_ == Report::dialog)
        QMessageBox::information(
            this, tr("Marks Saved"),
            tr("The marks were saved to \u201c%1\u201d. The file held lines that could not be read; "
               "its earlier content was kept as \u201c%2\u201d.")
                .arg(QDir::toNativeSeparators(path), QDir::toNativeSeparators(backup)));
    return true;
}

void DetailView::exportMarks() {
    // The three forms, in the order of MarkExport::Format.
    const QStringList filters{tr("Chapters for players and encoders (*.txt)"), tr("Chapter list as text (*.txt)"),
                              tr("Table (*.csv)")};
    const auto movie = movie_.url();
    const QString base = movie ? QFileInfo(movie->toLocalFile()).completeBaseName() : QStringLiteral("marks");
    QFileDialog dialog(window(), tr("Export Marks"), QDir::home().filePath(base + QStringLiteral(".chapters.txt")));
    dialog.setObjectName(QStringLiteral("exportMarksDialog"));
    dialog.setAcceptMode(QFileDialog::AcceptSave);
    dialog.setNameFilters(filters);
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty())
        return;
    const auto format =
        static_cast<MarkExport::Format>(std::max<qsizetype>(0, filters.indexOf(dialog.selectedNameFilter())));
    exportMarksTo(dialog.selectedFiles().first(), format);
}

bool DetailView::exportMarksTo(const QString& path, MarkExport::Format format) {
    QString error;
    if (movie_.exportTo(path, format, &error))
        return true;
    QMessageBox::warning(
        this, tr("Marks Not Exported"),
        tr("The marks could not be written to \u201c%1\u201d: %2").arg(QDir::toNativeSeparators(path), error));
    return false;
}

bool DetailView::confirmLeavingMovie() {
    // A save under way ends first: its marks may be all there is to ask about.
    movie_.finishSaving();
    if (!isModified())
        return true;
    const auto movie = movie_.url();
    QMessageBox question(QMessageBox::Warning, tr("Unsaved Marks"),
                         tr("Save the marks of \u201c%1\u201d before leaving it?")
                             .arg(movie ? QFileInfo(movie->toLocalFile()).fileName() : QString()),
                         QMessageBox::Save | QMessageBox::Discard | QMessageBox::Cancel, window());
    question.setObjectName(QStringLiteral("unsavedMarksQuestion"));
    question.setInformativeText(tr("Your changes to the marks are lost if you don't save them."));
    question.setDefaultButton(QMessageBox::Save);
    switch (question.exec()) {
    case QMessageBox::Save:
        return saveMarks();
    case QMessageBox::Discard:
        return true;
    default:
        return false;
    }
}

void DetailView::deleteText(int index) { movie_.removeMark(index); }

void DetailView::copyText(int index) {
    const auto& items = movie_.marks().items();
    if (index < 0 || index >= items.size())
        return;
    QClipboard* clipboard = QGuiApplication::clipboard();
    clipboard->clear();
    clipboard->setText(items[index].text);
}

void DetailView::showContextMenu(const QPoint& pos) {
    // Only the selected row has entries; an empty menu is not shown at all.
    const auto selected = list_->selectedRowAt(pos);
    if (!selected)
        return;
    const int index = *selected;
    QMenu menu(this);
    menu.addAction(symbolIcon(QStringLiteral("minus.rectangle")), tr("Delete Text"), this,
                   [this, index] { deleteText(index); });
    menu.addAction(symbolIcon(QStringLiteral("doc.on.doc")), tr("Copy Text"), this, [this, index] { copyText(index); });
    menu.addAction(tr("Edit Text"), QKeySequence(Qt::Key_F2), this, [this] { editSelected(Field::text); });
    menu.addAction(tr("Edit Time"), QKeySequence(Qt::SHIFT | Qt::Key_F2), this, [this] { editSelected(Field::time); });
    menu.exec(list_->viewport()->mapToGlobal(pos));
}

bool DetailView::isModified() const { return movie_.isModified(); }

void DetailView::showModified(bool modified) {
    saveButton_->setIcon(
        symbolIcon(modified ? QStringLiteral("externaldrive.badge.exclamationmark") : QStringLiteral("externaldrive")));
}

bool DetailView::eventFilter(QObject* watched, QEvent* event) {
    if (watched == entry_ && (event->type() == QEvent::ShortcutOverride || event->type() == QEvent::KeyPress) &&
        static_cast<QKeyEvent*>(event)->key() == Qt::Key_Escape) {
        // Esc leaves the entry, its text kept, and gives the keys back to the player.
        event->accept();
        if (event->type() == QEvent::KeyPress)
            Q_EMIT typingDone();
        return true;
    }
    if (watched == list_->viewport() && event->type() == QEvent::MouseButtonDblClick) {
        auto* click = static_cast<QMouseEvent*>(event);
        const QModelIndex index = list_->indexAt(click->position().toPoint());
        if (click->button() == Qt::LeftButton && index.isValid()) {
            list_->setSelectedIndex(index.row());
            const QRect time = delegate_->timeRect(list_->visualRect(index));
            editSelected(click->position().x() <= time.right() ? Field::time : Field::text);
            return true;
        }
    }
    return QWidget::eventFilter(watched, event);
}

void DetailView::keyPressEvent(QKeyEvent* event) {
    // Keys that reach the panel itself end here instead of travelling up to the window.
    event->accept();
}
