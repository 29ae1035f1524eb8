#pragma once

#include <QPointer>
#include <QUrl>
#include <QWidget>
#include <optional>

class QStackedLayout;
#include "playback/Player.h"
class VideoPlayerView;
class VideoToolbarView;

// The middle pane: the video of the selected movie, or black until one is selected. Its
// transport bar goes into the window's toolbar (toolbarView()).
class ContentView : public QWidget {
    Q_OBJECT
public:
    explicit ContentView(QWidget* parent = nullptr);

    VideoToolbarView* toolbarView() const { return toolbar_; }
    VideoPlayerView* videoView() const { return video_; }
    Player* player() const { return player_; }
    std::optional<QUrl> url() const { return url_; }
    std::optional<double> duration() const { return duration_; }

    // A new length of the open movie: the player, the transport bar and the marks follow,
    // and playback goes on where it is.
    void setDuration(double seconds);

Q_SIGNALS:
    // A double-click on the video.
    void doubleClicked();
    // The pointer moved over the video.
    void pointerMoved();

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void onVideoSelected(const QVariant& object);

    VideoToolbarView* toolbar_ = nullptr;
    QStackedLayout* stack_ = nullptr;
    QWidget* black_ = nullptr;
    VideoPlayerView* video_ = nullptr;
    QPointer<Player> player_;
    std::optional<QUrl> url_;
    std::optional<double> duration_;
};
