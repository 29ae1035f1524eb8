#include "ui/DetailView.h"

#include "core/Events.h"
#include "core/TimeFormat.h"
#include "models/SubtitlesViewModel.h"
#include "playback/ItemColors.h"
#include "playback/Symbols.h"
#include "ui/IndexListView.h"
#include "ui/OpenMovie.h"
#include "ui/PaneSlider.h"

#include <QAction>
#include <QClipboard>
#include <QDir>
#include <QFileDialog>
#include <QFileInfo>
#include <QFrame>
#include <QGraphicsOpacityEffect>
#include <QGuiApplication>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMessageBox>
#include <QPushButton>
#include <QStyledItemDelegate>
#include <QToolButton>
#include <QVBoxLayout>
#include <cmath>

namespace {

// A mark row: "• " and the text, in the mark's colour at 70 % opacity, italic 13 pt, one line.
class MarkRowDelegate : public QStyledItemDelegate {
public:
    using QStyledItemDelegate::QStyledItemDelegate;

protected:
    void initStyleOption(QStyleOptionViewItem* option, const QModelIndex& index) const override {
        QStyledItemDelegate::initStyleOption(option, index);
        // One line per row: the lines of a cue are shown side by side.
        QString text = index.data(SubtitlesViewModel::TextRole).toString();
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

    QSize sizeHint(const QStyleOptionViewItem& option, const QModelIndex& index) const override {
        QSize size = QStyledItemDelegate::sizeHint(option, index);
        return {size.width(), size.height() + 10};
    }
};

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

    list_ = new IndexListView(content);
    list_->setModel(&movie_.marks());
    list_->setItemDelegate(new MarkRowDelegate(list_));
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
    connect(entry_, &QLineEdit::returnPressed, this, &DetailView::onAddButton);
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
    });
    connect(&movie_, &OpenMovie::modifiedChanged, this, &DetailView::showModified);
    connect(
        &notify(), &ApplicationEvents::videoCursorChanged, this,
        [this](double seconds) {
            seconds_ = seconds;
            timeField_->setText(fixedFormatTimeDetail(seconds_));
        },
        Qt::DirectConnection);
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

void DetailView::focusEntry() {
    setShowPanel(true);
    entry_->setFocus(Qt::ShortcutFocusReason);
}

void DetailView::setLoading(bool loading) {
    // Until the list is in, there is nothing to add to, save or export: a mark added now, and
    // saved, would replace the file's marks with itself.
    for (QWidget* control : {static_cast<QWidget*>(entry_), static_cast<QWidget*>(addButton_),
                             static_cast<QWidget*>(saveButton_), static_cast<QWidget*>(exportButton_)})
        control->setEnabled(!loading);
    entry_->setPlaceholderText(loading ? tr("Loading marks\u2026") : markHint());
}

void DetailView::onAddButton() {
    if (movie_.addMark(seconds_, entry_->text()))
        entry_->clear();
}

bool DetailView::saveMarks(Report report) {
    const auto tell = [this, report](const QString& message) {
        if (report == Report::dialog)
            QMessageBox::warning(this, tr("Marks Not Saved"), message);
        else
            qWarning("%s", qUtf8Printable(message));
    };
    QString error;
    QString backup;
    if (!movie_.save(&error, &backup)) {
        tell(tr("The marks could not be saved to \u201c%1\u201d: %2")
                 .arg(QDir::toNativeSeparators(movie_.sidecarPath()), error));
        return false;
    }
    const QString sidecar = movie_.sidecarPath();
    if (!backup.isEmpty() && report == Report::dialog)
        QMessageBox::information(
            this, tr("Marks Saved"),
            tr("The marks were saved to \u201c%1\u201d. The file held lines that could not be read; "
               "its earlier content was kept as \u201c%2\u201d.")
                .arg(QDir::toNativeSeparators(sidecar), QDir::toNativeSeparators(backup)));
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
    menu.exec(list_->viewport()->mapToGlobal(pos));
}

bool DetailView::isModified() const { return movie_.isModified(); }

void DetailView::showModified(bool modified) {
    saveButton_->setIcon(
        symbolIcon(modified ? QStringLiteral("externaldrive.badge.exclamationmark") : QStringLiteral("externaldrive")));
}

void DetailView::keyPressEvent(QKeyEvent* event) {
    // Keys that reach the panel itself end here instead of travelling up to the window.
    event->accept();
}
