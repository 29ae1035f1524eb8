#pragma once

#include "core/SubtitlePlacement.h"
#include "playback/TimelineMarks.h"
#include "playback/VideoSliderCell.h"

#include <QPointer>
#include <QString>
#include <QWidget>

class Player;
struct VideoItem;
class QFrame;
class QLabel;
class QAction;
class QMenu;
class QSlider;
class QTimer;
class QToolButton;
class TimelinePreview;
class VideoSlider;

// The transport bar for the centre of the window's toolbar: skip back 5 s, play/pause, skip
// forward 5 s, elapsed time, the timeline with its marks, total time, the volume button with
// its pop-up slider, and the subtitle placement menu. It acts on the player announced by
// videoLoaded, follows videoSelected and videoCursorChanged, shows the marks it is given, and keeps the
// settings "subtitleStyle" and "volume". Hovering the timeline previews the movie there.
class VideoToolbarView : public QWidget {
    Q_OBJECT
public:
    explicit VideoToolbarView(QWidget* parent = nullptr);
    ~VideoToolbarView() override;

    Player* player() const { return player_; }
    double doubleValue() const { return doubleValue_; }  // timeline position, percent
    double playTime() const { return playTime_; }        // seconds
    double duration() const { return duration_; }        // seconds
    double volumeValue() const { return volumeValue_; }  // 0.0 .. 1.0
    SubtitlePlacement subtitleStyle() const { return subtitleStyle_; }
    bool showVolume() const { return showVolume_; }
    VideoSliderCell& cell() { return cell_; }
    VideoSlider* timeline() const { return slider_; }
    // The picture and time shown over the timeline where the pointer hovers.
    TimelinePreview* timelinePreview() const { return preview_; }

    // The symbol names the controls show now.
    QString playIcon() const;
    QString volumeIcon() const;
    QString subtitleIcon() const;
    static QString volumeIcon(double volume);

    // The step of the skip buttons and of the arrow keys.
    static constexpr double skipSeconds = 5.0;

    // A new length of the open movie (it changed on disk).
    void setDuration(double seconds);
    // The marks the timeline shows: those of `items`, then changed one item at a time.
    void setTimelineMarks(const QList<SubtitleItem>& items);
    void addTimelineMark(const SubtitleItem& item);
    void removeTimelineMark(const SubtitleItem& item);
    const TimelineMarks& timelineMarks() const { return marks_; }
    // Stores a subtitle placement (as its integer) and applies it to the player.
    void setSubtitleStyle(SubtitlePlacement placement);
    // (Re)starts the 3-second auto-hide of the volume pop-up.
    void setVolumeTimer();
    // Changes the volume by `delta` (clamped to 0..1) as the slider does, remembered.
    void changeVolumeBy(double delta);
    // Sound off or back on at the volume it had (the player's mute; the volume stays).
    void toggleMute();

public Q_SLOTS:
    // Seeks `seconds` from the last reported position (or from the target of a seek still under
    // way), back when negative, clamped to the start and to the movie's length. The timeline
    // shows the target at once.
    void skipBy(double seconds);
    // Pauses a playing player, plays any other.
    void togglePlay();
    // Opens or closes the volume pop-up.
    void setShowVolume(bool show);

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    void buildBar();
    void buildVolumePopup();
    void observeEvents();
    void onVideoSelected(const VideoItem& item);
    void onVideoLoaded(Player* player);
    void onVideoCursorChanged(double seconds);
    void seekFromTimeline(double value);
    void volumeEditingChanged(bool editing);
    void volumeSliderMoved(int value);
    void refresh();
    void refreshIcons();
    void placeVolumePopup();
    void showTimelineMarks();
    // The volume button's right-click menu: mute.
    void buildVolumeMenu();
    // The open movie's audio tracks and its own subtitle tracks, listed in the subtitle menu
    // under the placements when it has a choice of them.
    void listTracks();
    // "Volume 70 %", told over the picture.
    QString volumeMessage() const;

    VideoSliderCell cell_;
    TimelineMarks marks_;
    QPointer<Player> player_;
    double doubleValue_ = 0;
    double playTime_ = 0;
    double duration_ = 0;
    QTimer* volumeTimer_ = nullptr;
    bool showVolume_ = false;
    double volumeValue_ = 0;
    SubtitlePlacement subtitleStyle_ = SubtitlePlacement::none;

    QToolButton* prevButton_ = nullptr;
    QToolButton* playButton_ = nullptr;
    QToolButton* nextButton_ = nullptr;
    QLabel* elapsedLabel_ = nullptr;
    VideoSlider* slider_ = nullptr;
    TimelinePreview* preview_ = nullptr;
    QLabel* totalLabel_ = nullptr;
    QLabel* speedLabel_ = nullptr;
    QToolButton* volumeButton_ = nullptr;
    QToolButton* subtitleButton_ = nullptr;
    QMenu* subtitleMenu_ = nullptr;
    QMenu* volumeMenu_ = nullptr;
    QAction* muteAction_ = nullptr;
    QPointer<QFrame> volumePopup_;
    QSlider* volumeSlider_ = nullptr;
    bool settingVolumeSlider_ = false;
};
