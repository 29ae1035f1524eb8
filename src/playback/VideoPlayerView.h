#pragma once

#include "playback/Player.h"
#include "playback/PlayerItem.h"

#include <QOpenGLWidget>
#include <QUrl>
#include <atomic>
#include <memory>

struct mpv_render_context;

// The video surface: draws its own player's pictures through mpv's OpenGL render API and
// announces the player to the rest of the window. Each update (a new movie, or the same one
// again) gives the player a freshly built item and posts videoLoaded with the player, and from
// then on videoCursorChanged with the position in seconds about once per second of playback.
class VideoPlayerView : public QOpenGLWidget {
    Q_OBJECT
public:
    explicit VideoPlayerView(QWidget* parent = nullptr);
    explicit VideoPlayerView(Player::Options options, QWidget* parent = nullptr);
    ~VideoPlayerView() override;

    // Sets the movie and its length in seconds, then updates the surface at once.
    void setMovie(const QUrl& url, double duration);
    // Each setter stores its value and schedules one update for the next turn of the event
    // loop, so that setting both gives one update with both values.
    void setUrl(const QUrl& url);
    void setDuration(double duration);
    // A new length for the movie being played (it changed on disk), which goes on where it is.
    void setLength(double duration);
    QUrl url() const { return url_; }
    double duration() const { return duration_; }

    Player* player() const { return player_.get(); }
    // Pictures drawn since the surface was made; redraws of the same picture do not count.
    int framesRendered() const { return framesRendered_; }

    // A new item for the movie at `url`, over this surface's duration.
    PlayerItem getPlayerItem(const QUrl& url) const;

    // Places and styles the subtitles of `player`'s current item: 0 hidden, 1 top, 2 bottom.
    // Without a player or a current item nothing changes. The playback position stays.
    static void setSubtitleStyle(Player* player, SubtitlePlacement placement);

Q_SIGNALS:
    // A new video picture was drawn.
    void frameRendered();

protected:
    void initializeGL() override;
    void paintGL() override;

private:
    void updateSurface();
    void setPlayer(Player* player, const PlayerItem& item);
    void scheduleUpdate();
    void freeRenderContext();
    void onRenderRequested();
    static void renderUpdateRequested(void* context);

    std::unique_ptr<Player> player_;
    mpv_render_context* render_ = nullptr;
    std::atomic<bool> repaintQueued_{false};
    bool updateScheduled_ = false;
    bool reportsPosted_ = false;
    int framesRendered_ = 0;
    QSize renderedSize_;  // the size of the movie picture the framebuffer holds; empty: none
    QSize mpvSize_;       // the size mpv rendered at last
    QUrl url_;
    double duration_ = 0;
};
