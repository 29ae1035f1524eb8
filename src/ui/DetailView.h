#pragma once

#include "subtitles/MarkExport.h"

#include <QWidget>
#include <optional>

class MarkRowDelegate;
class OpenMovie;
class QUuid;
class QAction;
class QLabel;
class QLineEdit;
class IndexListView;
class PaneSlider;
class QPushButton;
class QToolButton;

// The subtitle panel on the right: the marks of the open movie, the entry that adds a mark
// at the last reported position, and the button that saves the marks to the movie's SRT
// file. Hidden at start; it follows the player's events also while hidden. Selecting a mark
// asks for the movie to go to its start (seekRequested); the window passes that on to the
// player.
class DetailView : public QWidget {
    Q_OBJECT
public:
    static constexpr int panelWidth = 250;

    explicit DetailView(OpenMovie& movie, QWidget* parent = nullptr);

    // The "list.bullet" button of the window's toolbar, which shows and hides the panel.
    QAction* toolbarAction() const { return toggleAction_; }

    bool showPanel() const;
    bool isModified() const;
    std::optional<int> selectedIndex() const;
    double seconds() const { return seconds_; }
    QLineEdit* timeField() const { return timeField_; }
    QLineEdit* entry() const { return entry_; }
    IndexListView* list() const { return list_; }
    QPushButton* saveButton() const { return saveButton_; }
    // The line above the marks that says why the list shows none (a sidecar too large to
    // read); hidden otherwise.
    QLabel* notice() const { return notice_; }

    void setShowPanel(bool show);
    void setSelectedIndex(std::optional<int> index);

    void onSubtitleSelected(int index);
    // Selects (and so seeks to) the mark after (+1) or before (-1) the selected one, or else
    // the reported position.
    void selectAdjacentMark(int direction);
    // Shows the panel and puts the cursor in the mark entry; with a `kind` ("Death:  (F)") the
    // entry holds its words and the cursor sits where the name goes.
    void focusEntry(const QString& kind = {});
    void onAddButton();

    // Editing the selected mark in place: its text or its start time.
    enum class Field { text, time };
    void editSelected(Field field);
    // The typed text of the mark at `row` (made one line); false when nothing changed.
    bool setMarkText(int row, const QString& typed);
    // The typed start time of the mark at `row` (see parseTime); a time that cannot be read or
    // lies after the movie's end is told to the user and changes nothing.
    bool setMarkTime(int row, const QString& typed);
    // Moves the selected mark's start by `seconds` (negative: earlier); it stays selected,
    // and the movie goes to its new start.
    bool nudgeSelected(double seconds);
    void deleteSelected();
    // The row of the mark whose time range holds the reported position (the latest begun).
    std::optional<int> playingIndex() const { return playingIndex_; }
    // Ctrl+S and the save button: the marks are written on a worker, the list cannot be
    // changed meanwhile (marks typed wait for the end), and the result is told when it ends.
    void onSaveButton();
    // Writes the marks to the open movie's SRT file when they changed, before it returns. A
    // failure keeps the marks and their modified state and tells the user which file failed
    // and why.
    enum class Report { dialog, log };
    bool saveMarks(Report report = Report::dialog);
    // Asks whether unsaved marks are saved before the open movie is left: Save (and go on
    // only when the save worked), Discard, or Cancel. True when the caller may go on; with
    // nothing unsaved it asks nothing.
    bool confirmLeavingMovie();
    // Asks where and in which form to export the marks ("Export Marks…"), then writes them.
    void exportMarks();
    // Writes the marks to `path` in `format`; a failure is told with the file and the reason.
    bool exportMarksTo(const QString& path, MarkExport::Format format);
    QPushButton* exportButton() const { return exportButton_; }
    void deleteText(int index);
    void copyText(int index);

Q_SIGNALS:
    // A mark was selected: the open movie should go to its start, in seconds.
    void seekRequested(double seconds);
    // The user is done typing a mark (it was added, or Esc): the keys go back to the player.
    void typingDone();

protected:
    void keyPressEvent(QKeyEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    QWidget* buildContent();
    QWidget* buildEditBox();
    void subscribeToEvents();
    void showModified(bool modified);
    // Tells how a save of the marks to `path` went: a failure with its reason, a backup kept.
    bool tellSaved(bool saved, const QString& path, const QString& error, const QString& backup);
    // While a save runs, the save button says so and how many marks wait for it.
    void showSaving();
    // The open movie's marks are still being read: adding, saving and exporting wait.
    void setLoading(bool loading);
    void showContextMenu(const QPoint& pos);
    bool addTypedMark();
    bool moveMark(int row, double seconds);
    // The row of the mark at `row` once a save under way has ended, waited for here: an editor
    // that was open when the save began keeps its typed value, and marks that waited for the
    // save may have moved the row. None for a row out of range.
    std::optional<int> rowAfterSaving(int row);
    // Selects the mark `id` where the edit put it (without seeking unless `seek`).
    void followMark(const QUuid& id, bool seek);
    void showPlayingMark();

    QAction* toggleAction_ = nullptr;
    QWidget* content_ = nullptr;
    QLineEdit* timeField_ = nullptr;
    QLineEdit* entry_ = nullptr;
    QLabel* notice_ = nullptr;
    IndexListView* list_ = nullptr;
    QToolButton* addButton_ = nullptr;
    QPushButton* saveButton_ = nullptr;
    QPushButton* exportButton_ = nullptr;
    PaneSlider* slider_ = nullptr;
    MarkRowDelegate* delegate_ = nullptr;
    std::optional<int> playingIndex_;

    OpenMovie& movie_;
    double seconds_ = 0;
    Report saveReport_ = Report::dialog;  // how the end of a save is told
};
