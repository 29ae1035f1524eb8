#include "ui/OpenMovie.h"

#include "core/AppState.h"
#include "core/Events.h"
#include "core/WorkQueues.h"
#include "models/MoviesViewModel.h"
#include "models/SidecarLoader.h"
#include "models/SubtitlesViewModel.h"
#include "playback/Player.h"
#include "subtitles/SubtitleSRT.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QRegularExpression>
#include <QtConcurrent/QtConcurrentRun>
#include <cmath>
#include <utility>

// Adding a mark and taking it back.
class OpenMovie::AddMark : public QUndoCommand {
public:
    AddMark(OpenMovie& movie, SubtitleItem item)
        : QUndoCommand(QObject::tr("Add Mark")), movie_(movie), item_(std::move(item)) {}
    void redo() override { movie_.insertMark(item_); }
    void undo() override { movie_.takeMark(item_); }

private:
    OpenMovie& movie_;
    SubtitleItem item_;
};

// Removing a mark and putting it back in its place.
class OpenMovie::RemoveMark : public QUndoCommand {
public:
    RemoveMark(OpenMovie& movie, SubtitleItem item)
        : QUndoCommand(QObject::tr("Delete Mark")), movie_(movie), item_(std::move(item)) {}
    void redo() override { movie_.takeMark(item_); }
    void undo() override { movie_.insertMark(item_); }

private:
    OpenMovie& movie_;
    SubtitleItem item_;
};

// Changing a mark's text or start: the old item leaves the list and the new one goes in at its
// place by start, so that the list stays in order and the timeline moves its tick.
class OpenMovie::EditMark : public QUndoCommand {
public:
    EditMark(OpenMovie& movie, SubtitleItem before, SubtitleItem after, const QString& name)
        : QUndoCommand(name), movie_(movie), before_(std::move(before)), after_(std::move(after)) {}
    void redo() override { swap(before_, after_); }
    void undo() override { swap(after_, before_); }

private:
    void swap(const SubtitleItem& out, const SubtitleItem& in) {
        movie_.takeMark(out);
        movie_.insertMark(in);
    }
    OpenMovie& movie_;
    SubtitleItem before_;
    SubtitleItem after_;
};

OpenMovie::OpenMovie(QObject* parent) : QObject(parent) {
    connect(&undo_, &QUndoStack::cleanChanged, this, [this](bool clean) { Q_EMIT modifiedChanged(!clean); });
    // A movie opens before its length may be known; one that grew or was replaced on disk
    // plays to its new end.
    connect(&MoviesViewModel::shared(), &MoviesViewModel::lengthMeasured, this, &OpenMovie::followLength);
    connect(&SubtitlesViewModel::shared(), &SubtitlesViewModel::loadingChanged, this, [this](bool loading) {
        if (!loading)
            Q_EMIT subtitlesReady();
    });
    // Quitting removes what the work queues leave behind and drops their queued work: a save
    // under way ends first, so that the file is whole (connected before the quit's clean-up).
    if (QCoreApplication::instance())
        connect(QCoreApplication::instance(), &QCoreApplication::aboutToQuit, this, &OpenMovie::finishSaving);
}

OpenMovie::~OpenMovie() {
    // A save queued or running still writes its file whole; its result has no one to tell.
    if (saving_)
        save_.waitForFinished();
}

std::optional<QUrl> OpenMovie::url() const { return item_ ? std::optional<QUrl>(item_->url()) : std::nullopt; }

SubtitlesViewModel& OpenMovie::marks() const { return SubtitlesViewModel::shared(); }

bool OpenMovie::isLoading() const { return marks().isLoading(); }

void OpenMovie::open(const VideoItem& item) {
    finishSaving();      // of the movie being left, and its waiting marks with it
    rememberPosition();  // of the movie being left
    item_ = item;
    startPosition_ = 0;
    if (ResumeStore::enabled(user()))
        startPosition_ = resume_.position(item.url(), item.duration).value_or(0);
    // The marks of the movie being left go with it, and so does their history.
    undo_.clear();
    SidecarLoader::shared().open(item.url(), item.duration);
    Q_EMIT opened(item);
    Q_EMIT notify().videoSelected(item);
    if (!isLoading())
        Q_EMIT subtitlesReady();
}

void OpenMovie::setPlayer(Player* player) { player_ = player; }

void OpenMovie::rememberPosition() {
    if (!item_ || !player_ || !player_->isLoaded() || player_->currentItem()->url != item_->url() ||
        !ResumeStore::enabled(user()))
        return;
    resume_.remember(item_->url(), player_->currentTime(), item_->duration);
}

void OpenMovie::followLength(const QUrl& url, double seconds) {
    if (!isOpen(url.toLocalFile()) || item_->duration == seconds)
        return;
    item_->duration = seconds;
    marks().setMovieDuration(seconds);
    Q_EMIT lengthChanged(seconds);
}

QString OpenMovie::markText(const QString& typed) {
    // A mark is one line: a pasted line break would start a cue of its own in the file.
    static const QRegularExpression lineBreaks(QStringLiteral("[\\r\\n\\x{2028}\\x{2029}\\x{0B}\\x{0C}\\x{85}]"));
    QString text = typed;
    text.replace(lineBreaks, QStringLiteral(" "));
    return text.trimmed();
}

bool OpenMovie::addMark(double seconds, const QString& typed) {
    if (!item_ || isLoading())
        return false;
    const QString text = markText(typed);
    if (text.isEmpty())
        return false;
    // Coloured as a mark read from the file would be, so that the list and the timeline agree.
    const ItemColor color = SubtitleSRT::shared().annotationColor(text).value_or(ItemColor::gray);
    const SubtitleItem mark(seconds, seconds + 2.0, text, color, item_->duration);
    if (saving_)
        waitingMarks_.append(mark);
    else
        undo_.push(new AddMark(*this, mark));
    return true;
}

void OpenMovie::removeMark(int row) {
    const auto& items = marks().items();
    if (row < 0 || row >= items.size() || saving_)
        return;
    undo_.push(new RemoveMark(*this, items[row]));
}

bool OpenMovie::editMarkText(int row, const QString& typed) {
    const auto& items = marks().items();
    const QString text = markText(typed);
    if (row < 0 || row >= items.size() || text.isEmpty() || text == items[row].text)
        return false;
    SubtitleItem changed = items[row];
    changed.text = text;
    // The kind may change with the words, and its colour with it.
    changed.color = SubtitleSRT::shared().annotationColor(text).value_or(ItemColor::gray);
    return replaceMark(row, changed, tr("Edit Mark Text"));
}

bool OpenMovie::moveMark(int row, double seconds) {
    const auto& items = marks().items();
    if (row < 0 || row >= items.size())
        return false;
    seconds = std::max(0.0, seconds);
    if (length() > 0)
        seconds = std::min(seconds, length());
    // Kept to the millisecond the file stores, so that a moved mark reads back where it shows.
    seconds = std::round(seconds * 1000) / 1000;
    SubtitleItem changed = items[row];
    if (changed.stime == seconds)
        return false;
    changed.etime = seconds + (changed.etime - changed.stime);
    changed.stime = seconds;
    return replaceMark(row, changed, tr("Move Mark"));
}

bool OpenMovie::replaceMark(int row, const SubtitleItem& changed, const QString& name) {
    if (isLoading() || saving_)
        return false;
    undo_.push(new EditMark(*this, marks().items()[row], changed, name));
    return true;
}

void OpenMovie::insertMark(const SubtitleItem& item) {
    marks().addItem(item);
    Q_EMIT markAdded(item);
    Q_EMIT notify().refreshMarks(item);
}

void OpenMovie::takeMark(const SubtitleItem& item) {
    const auto row = marks().rowOf(item);
    if (!row)
        return;
    marks().removeItem(*row);
    Q_EMIT markRemoved(item);
    Q_EMIT notify().refreshMarks(item);
}

QString OpenMovie::sidecarPath() const {
    return item_ ? SubtitleSRT::sidecarURL(item_->url()).toLocalFile() : QString();
}

bool OpenMovie::maySave(QString* error) const {
    const auto fail = [error](const QString& reason) {
        if (error)
            *error = reason;
        return false;
    };
    if (!item_ || isLoading())
        return fail(tr("the marks are still being read"));
    // The marks of a sidecar too large to read are not in the list: a save would replace
    // them all with the few added since.
    if (const QString refusal = SidecarLoader::shared().refusal(); !refusal.isEmpty())
        return fail(
            tr("its marks were not read (%1), and saving would replace them with the new ones only").arg(refusal));
    const QString moviePath = item_->path;
    // No sidecar without its movie: it would be an orphan nobody opens again.
    if (!QFileInfo(moviePath).isFile())
        return fail(tr("the movie \u201c%1\u201d no longer exists; you can still copy the marks from the list")
                        .arg(QDir::toNativeSeparators(moviePath)));
    return true;
}

bool OpenMovie::save(QString* error, QString* backup) {
    finishSaving();
    if (!isModified())
        return true;
    if (!maySave(error))
        return false;
    if (!SubtitleSRT::shared().writeAll(SubtitleSRT::sidecarURL(item_->url()), marks().items(), error, backup))
        return false;
    undo_.setClean();
    return true;
}

bool OpenMovie::startSave(QString* error) {
    if (saving_ || !isModified())
        return true;
    if (!maySave(error))
        return false;
    saving_ = true;
    savedIndex_ = undo_.index();
    const QUrl srt = SubtitleSRT::sidecarURL(item_->url());
    savePath_ = srt.toLocalFile();
    // The worker writes a copy of the list, which shares its items with the list as long as
    // neither changes: taking it costs nothing, and no change of the list reaches the file.
    save_ = QtConcurrent::run(&workQueues().sidecars(), [srt, items = marks().items()] {
        SaveResult result;
        result.saved = SubtitleSRT::shared().writeAll(srt, items, &result.error, &result.backup);
        return result;
    });
    save_.then(this, [this, number = ++saveNumber_](const SaveResult&) {
        if (number == saveNumber_)
            finishSaving();
    });
    Q_EMIT savingChanged(true);
    return true;
}

void OpenMovie::finishSaving() {
    if (!saving_)
        return;
    // A save still queued behind other sidecar work runs here and now.
    save_.waitForFinished();
    const SaveResult result = save_.result();
    saving_ = false;
    if (result.saved) {
        // The file holds the list as it was when the save began. Undo and redo still work
        // meanwhile: when they moved the list elsewhere, it is unsaved whatever its place.
        if (undo_.index() == savedIndex_)
            undo_.setClean();
        else
            undo_.resetClean();
    }
    for (const SubtitleItem& mark : std::exchange(waitingMarks_, {}))
        undo_.push(new AddMark(*this, mark));
    Q_EMIT savingChanged(false);
    Q_EMIT saveFinished(result.saved, savePath_, result.error, result.backup);
}

bool OpenMovie::exportTo(const QString& path, MarkExport::Format format, QString* error) const {
    return MarkExport::write(path, format, marks().items(), length(),
                             title().isEmpty() ? QStringLiteral("Intro") : title(), error);
}
