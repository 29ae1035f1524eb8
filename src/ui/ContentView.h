#pragma once

#include <QUrl>
#include <QWidget>

class OpenMovie;
class Player;
class QStackedLayout;
class VideoPlayerView;
class VideoToolbarView;
struct VideoItem;

// The middle pane: the video of the selected movie, or black until one is selected. Its
// transport bar goes into the window's toolbar (toolbarView()).
class ContentView : public QWidget {
    Q_OBJECT
public:
    explicit ContentView(OpenMovie& movie, QWidget* parent = nullptr);

    // The smallest video the window asks room for: small enough that the window with both panes
    // fits a 1024 x 600 screen. Where a window manager makes the window smaller still, the
    // video gives way, never the panes beside it (see NavigationSplitView).
    static constexpr QSize minimumVideoSize{320, 180};

    VideoToolbarView* toolbarView() const { return toolbar_; }
    VideoPlayerView* videoView() const { return video_; }
    // The player of the video surface; none before the first selection.
    Player* player() const;

    // Makes the video surface ahead of the first selection, while black still shows: mpv and
    // its OpenGL context take a while to start, and a movie then opens at once.
    void prepareSurface();

Q_SIGNALS:
    // A double-click on the video.
    void doubleClicked();
    // The pointer moved over the video.
    void pointerMoved();

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void showMovie(const VideoItem& item);
    // A new length of the open movie: the player and the transport bar follow, and playback
    // goes on where it is.
    void followLength(double seconds);
    VideoPlayerView* makeSurface();

    VideoToolbarView* toolbar_ = nullptr;
    QStackedLayout* stack_ = nullptr;
    QWidget* black_ = nullptr;
    VideoPlayerView* video_ = nullptr;
    VideoPlayerView* prepared_ = nullptr;  // made ahead, shown at the first selection
    OpenMovie& movie_;
};
