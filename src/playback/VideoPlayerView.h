#pragma once

#include "playback/Player.h"
#include "playback/PlayerItem.h"

#include <QImage>
#include <QUrl>
#include <QWidget>
#include <atomic>
#include <memory>

struct mpv_render_context;
class QOffscreenSurface;
class QOpenGLContext;
class QWindow;

// The video surface: draws its own player's pictures through mpv's OpenGL render API and
// announces the player to the rest of the window. Each update (a new movie, or the same one
// again) gives the player a freshly built item and posts videoLoaded with the player, and from
// then on videoCursorChanged with the position in seconds about once per second of playback.
//
// mpv draws straight into a native child window, as the mpv command line does into its own:
// no framebuffer of the widget's, and the rest of the window stays plain raster widgets. The
// surface's GL context is its own and exists from the start (on an offscreen surface until
// the window is on screen), so a movie opens at once, while the window is still being made.
class VideoPlayerView : public QWidget {
    Q_OBJECT
public:
    explicit VideoPlayerView(QWidget* parent = nullptr);
    explicit VideoPlayerView(Player::Options options, QWidget* parent = nullptr);
    ~VideoPlayerView() override;

    // Sets the movie and its length in seconds, then updates the surface at once; the movie
    // opens at `startAt` seconds.
    void setMovie(const QUrl& url, double duration, double startAt = 0);
    // A new length for the movie being played (it changed on disk), which goes on where it is.
    void setLength(double duration);
    QUrl url() const { return url_; }
    double duration() const { return duration_; }

    Player* player() const { return player_.get(); }
    // Pictures drawn on screen since the surface was made; redraws of the same picture do not
    // count.
    int framesRendered() const { return framesRendered_; }
    // The native window the pictures are drawn into.
    QWindow* videoWindow() const { return window_; }
    // The surface's window is on screen, so that pictures are drawn.
    bool isExposed() const;
    // The picture the surface shows, drawn again at its size in device pixels (black without
    // a movie to show).
    QImage grabFramebuffer();

    // A new item for the movie at `url`, over this surface's duration.
    PlayerItem getPlayerItem(const QUrl& url) const;

    // Places and styles the subtitles of `player`: hidden, at the top or at the bottom. The
    // playback position stays.
    static void setSubtitleStyle(Player* player, SubtitlePlacement placement);

Q_SIGNALS:
    // A new video picture is on screen.
    void frameRendered();

protected:
    bool event(QEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void followAncestorCursors();
    void createRenderContext();
    void updateSurface(double startAt);
    void setPlayer(Player* player, const PlayerItem& item);
    void freeRenderContext();
    void onRenderRequested();
    void draw();
    bool showsMovie() const;
    bool newPictureWaiting() const;
    QSize targetSize() const;
    static void renderUpdateRequested(void* context);

    std::unique_ptr<Player> player_;
    std::unique_ptr<QOpenGLContext> gl_;
    std::unique_ptr<QOffscreenSurface> offscreen_;
    QWindow* window_ = nullptr;  // owned by its container, a child widget
    mpv_render_context* render_ = nullptr;
    std::atomic<bool> repaintQueued_{false};
    bool reportsPosted_ = false;
    bool undrawnPicture_ = false;  // mpv gave a new picture while the window was not on screen
    int framesRendered_ = 0;
    QSize mpvSize_;  // the size mpv rendered at last
    QUrl url_;
    double duration_ = 0;
};
