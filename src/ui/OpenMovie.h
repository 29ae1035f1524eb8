#pragma once

#include "core/Records.h"
#include "models/ResumeStore.h"
#include "subtitles/MarkExport.h"

#include <QFuture>
#include <QObject>
#include <QPointer>
#include <QUndoStack>
#include <QUrl>
#include <optional>

class Player;
class SubtitlesViewModel;

// The movie the window has open, and everything that belongs to it: its record, its length as
// it becomes known, the load of its sidecar into the marks list, whether the marks were changed
// since they were read or saved (the undo stack's clean state), saving and exporting them, and
// where it is to open the next time. One per window; the views, the player and the desktop
// services read it and follow its signals instead of keeping copies.
//
// The application events of a pick are posted from here: videoSelected when a movie opens,
// refreshMarks when a mark is added or removed.
class OpenMovie : public QObject {
    Q_OBJECT
public:
    explicit OpenMovie(QObject* parent = nullptr);
    ~OpenMovie() override;

    // The open movie's record; none before the first pick.
    const std::optional<VideoItem>& item() const { return item_; }
    std::optional<QUrl> url() const;
    // Whether the movie at the local `path` is the open one.
    bool isOpen(const QString& path) const { return item_ && item_->path == path; }
    // Seconds; 0 while unknown.
    double length() const { return item_ ? item_->duration : 0; }
    QString title() const { return item_ ? item_->text : QString(); }

    // The open movie's marks: the cues of its sidecar, in start order.
    SubtitlesViewModel& marks() const;
    // The marks are still being read (a large sidecar): adding, saving and exporting wait.
    bool isLoading() const;
    QUndoStack* undoStack() { return &undo_; }
    bool isModified() const { return !undo_.isClean(); }

    // Opens `item`: remembers where the movie being left was, reads the new one's sidecar and
    // posts videoSelected. The caller has asked about unsaved marks before.
    void open(const VideoItem& item);
    // Where the open movie is to start: the remembered position (see ResumeStore), else 0.
    double startPosition() const { return startPosition_; }

    // The player of the open movie, whose position is remembered; followed while it lives.
    void setPlayer(Player* player);
    // Keeps where the open movie is now, for the next time it opens.
    void rememberPosition();

    // Adds a mark at `seconds` with `text` made one line (line breaks become spaces, ends
    // trimmed). Nothing for an empty text or while the marks are loading; otherwise true.
    // While a save runs the mark waits (waitingMarks) and goes in once the save has ended.
    bool addMark(double seconds, const QString& text);
    // Removes the mark at `row`; rows out of range, and any row while a save runs, are ignored.
    void removeMark(int row);
    // Gives the mark at `row` the text `typed`, made one line as addMark does. False, and
    // nothing changes, for a row out of range, an empty text, the text it has or while a save
    // runs.
    bool editMarkText(int row, const QString& typed);
    // Moves the mark at `row` to start at `seconds` (its length kept; 0 at the earliest, the
    // movie's end at the latest when known); the list stays in start order. False, and nothing
    // changes, for a row out of range, the start it has or while a save runs.
    bool moveMark(int row, double seconds);
    // The mark as `typed` would be added: one line, ends trimmed; empty when nothing is left.
    static QString markText(const QString& typed);

    // Writes the marks to the movie's SRT file when they changed, here and now, after a save
    // under way has ended. False, with the reason in `error`, when it did not; `backup` names
    // the copy of unreadable earlier content it kept.
    bool save(QString* error, QString* backup = nullptr);
    // The same write on the sidecars work queue, so that a large list does not hold the
    // window: the marks cannot be changed until it ends (isSaving), and saveFinished tells how
    // it went. False, with the reason in `error`, when it cannot start; true, and nothing
    // starts, when the marks match the file or a save runs already.
    bool startSave(QString* error);
    bool isSaving() const { return saving_; }
    // Marks added while the save runs, in the order typed; they go in once it has ended.
    int waitingMarks() const { return int(waitingMarks_.size()); }
    // Waits for the save under way, if any, and takes its result now (saveFinished). Leaving
    // the movie and quitting call it, so that the file is whole before they go on.
    void finishSaving();
    QString sidecarPath() const;
    // Writes the marks to `path` in `format`; false with the reason in `error`.
    bool exportTo(const QString& path, MarkExport::Format format, QString* error) const;

Q_SIGNALS:
    // Another movie opened (its record), after the marks of a small sidecar are in.
    void opened(const VideoItem& item);
    // The open movie's length changed on disk (seconds); it plays on where it is.
    void lengthChanged(double seconds);
    // The marks of the sidecar are in the list (at once for a small sidecar, later for a large).
    void subtitlesReady();
    // One mark was added or removed; the list holds the change already.
    void markAdded(const SubtitleItem& item);
    void markRemoved(const SubtitleItem& item);
    // The marks differ from the file (true) or match it again (false).
    void modifiedChanged(bool modified);
    // A save on the work queue began (true) or ended (false).
    void savingChanged(bool saving);
    // A save on the work queue ended: written to `path`, or not for `error`; `backup` names the
    // copy of unreadable earlier content it kept.
    void saveFinished(bool saved, const QString& path, const QString& error, const QString& backup);

private:
    class AddMark;
    class RemoveMark;
    class EditMark;
    bool replaceMark(int row, const SubtitleItem& changed, const QString& name);
    void insertMark(const SubtitleItem& item);
    void takeMark(const SubtitleItem& item);
    void followLength(const QUrl& url, double seconds);
    // What a save needs before it writes; false with the reason in `error`.
    bool maySave(QString* error) const;

    struct SaveResult {
        bool saved = false;
        QString error;
        QString backup;
    };

    std::optional<VideoItem> item_;
    double startPosition_ = 0;
    QPointer<Player> player_;
    ResumeStore resume_;
    QUndoStack undo_;
    bool saving_ = false;
    QFuture<SaveResult> save_;
    quint64 saveNumber_ = 0;  // whose end the queued result reports
    int savedIndex_ = 0;      // the history's place when the running save took its list
    QString savePath_;
    QList<SubtitleItem> waitingMarks_;
};
