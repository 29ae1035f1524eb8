#include "playback/VideoPlayerView.h"

#include "core/Events.h"
#include "models/SidecarLoader.h"

#include <mpv/client.h>
#include <mpv/render_gl.h>
#include <QOpenGLContext>
#include <QOpenGLFunctions>
#include <utility>

namespace {

void* glProcAddress(void*, const char* name) {
    QOpenGLContext* context = QOpenGLContext::currentContext();
    return context ? reinterpret_cast<void*>(context->getProcAddress(name)) : nullptr;
}

}  // namespace

VideoPlayerView::VideoPlayerView(QWidget* parent) : VideoPlayerView(Player::Options{}, parent) {}

VideoPlayerView::VideoPlayerView(Player::Options options, QWidget* parent)
    : QOpenGLWidget(parent), player_(std::make_unique<Player>(Player::Options{true, options.audio})) {
    setUpdateBehavior(QOpenGLWidget::PartialUpdate);
    // A movie that cannot be opened leaves the surface black.
    connect(player_.get(), &Player::loadFinished, this, [this](bool ok) {
        if (!ok)
            update();
    });
    // A large sidecar's subtitle file is written after its movie was handed over; the player
    // opens the movie once it is there.
    connect(&SidecarLoader::shared(), &SidecarLoader::playerFileWritten, this, [this](const QUrl& movie) {
        if (movie == url_)
            player_->subtitlesWritten(getPlayerItem(url_));
    });
}

VideoPlayerView::~VideoPlayerView() {
    // The render context goes first, with its GL context current, then the player. The GL
    // context itself dies later, in the base class, when this part is already gone.
    if (QOpenGLContext* gl = context())
        disconnect(gl, nullptr, this, nullptr);
    if (render_) {
        makeCurrent();
        freeRenderContext();
        doneCurrent();
    }
    player_.reset();
}

void VideoPlayerView::setMovie(const QUrl& url, double duration) {
    url_ = url;
    duration_ = duration;
    updateScheduled_ = false;
    updateSurface();
}

void VideoPlayerView::setUrl(const QUrl& url) {
    url_ = url;
    scheduleUpdate();
}

void VideoPlayerView::setDuration(double duration) {
    duration_ = duration;
    scheduleUpdate();
}

void VideoPlayerView::setLength(double duration) {
    duration_ = duration;
    player_->setLength(duration);
}

void VideoPlayerView::scheduleUpdate() {
    if (std::exchange(updateScheduled_, true))
        return;
    QMetaObject::invokeMethod(
        this,
        [this] {
            if (std::exchange(updateScheduled_, false))
                updateSurface();
        },
        Qt::QueuedConnection);
}

void VideoPlayerView::updateSurface() {
    if (url_.isEmpty())
        return;
    const PlayerItem item = getPlayerItem(url_);
    player_->replaceCurrentItem(item);
    setPlayer(player_.get(), item);
}

PlayerItem VideoPlayerView::getPlayerItem(const QUrl& url) const { return ::getPlayerItem(url, duration_); }

void VideoPlayerView::setPlayer(Player* player, const PlayerItem&) {
    Q_EMIT notify().videoLoaded(player);
    if (std::exchange(reportsPosted_, true))
        return;
    connect(player, &Player::positionReported, this,
            [](double seconds) { Q_EMIT notify().videoCursorChanged(seconds); });
}

void VideoPlayerView::setSubtitleStyle(Player* player, SubtitlePlacement placement) {
    const QList<TextStyleRule> rules = subtitleStyleRules(placement);
    if (!player || !player->currentItem())
        return;
    player->setTextStyleRules(rules);
    player->setSubtitlesVisible(subtitlesVisible(placement));
}

void VideoPlayerView::initializeGL() {
    if (render_ || !player_->handle())
        return;
    mpv_opengl_init_params glInit{&glProcAddress, nullptr};
    const char* apiType = MPV_RENDER_API_TYPE_OPENGL;
    mpv_render_param params[] = {
        {MPV_RENDER_PARAM_API_TYPE, const_cast<char*>(apiType)},
        {MPV_RENDER_PARAM_OPENGL_INIT_PARAMS, &glInit},
        {MPV_RENDER_PARAM_INVALID, nullptr},
    };
    if (mpv_render_context_create(&render_, player_->handle(), params) < 0) {
        render_ = nullptr;
        return;
    }
    mpv_render_context_set_update_callback(render_, &VideoPlayerView::renderUpdateRequested, this);
    // Qt drops the GL context when the widget moves to another window; the render context
    // must go with it, and a new one is made in the next initializeGL.
    connect(
        context(), &QOpenGLContext::aboutToBeDestroyed, this,
        [this] {
            makeCurrent();
            freeRenderContext();
            doneCurrent();
        },
        Qt::DirectConnection);
    player_->attachSurface();
}

void VideoPlayerView::freeRenderContext() {
    if (!render_)
        return;
    mpv_render_context_set_update_callback(render_, nullptr, nullptr);
    mpv_render_context_free(render_);
    render_ = nullptr;
    if (player_)
        player_->detachSurface();
}

// Called on one of mpv's threads: only queue a repaint onto the GUI thread.
void VideoPlayerView::renderUpdateRequested(void* context) {
    auto* self = static_cast<VideoPlayerView*>(context);
    if (self->repaintQueued_.exchange(true))
        return;
    QMetaObject::invokeMethod(
        self, [self] { self->onRenderRequested(); }, Qt::QueuedConnection);
}

// mpv asks for a render whenever it has something to show; a real picture is drawn through
// a repaint of the widget. Every such request is answered by a repaint: checking first
// whether the next picture is new and skipping the render otherwise would race with mpv's
// own thread, which may queue the first picture of a paused movie between the check and the
// render, and that picture would then never be shown.
void VideoPlayerView::onRenderRequested() {
    repaintQueued_ = false;
    if (!render_)
        return;
    makeCurrent();
    const bool repaint = mpv_render_context_update(render_) & MPV_RENDER_UPDATE_FRAME;
    doneCurrent();
    if (repaint)
        update();
}

// The framebuffer keeps its picture between paints (partial updates), so a repaint that Qt
// asks for on its own, with no picture of mpv's waiting, draws nothing new. mpv renders when
// it has a picture waiting, and when the size changed (mpv learns the size from a render
// and needs it before it shows the first picture). Asking mpv whether a picture waits and
// then rendering is only exact when one waits already: mpv's thread may queue one between
// the two calls, and a render started with nothing waiting would take it unannounced. So no
// such render happens while a movie opens at an unchanged size, which is when the first
// picture arrives.
void VideoPlayerView::paintGL() {
    QOpenGLFunctions* gl = context()->functions();
    const qreal scale = devicePixelRatioF();
    const QSize size(int(width() * scale), int(height() * scale));
    // Without a movie to show (none, or a failed one) the surface stays black, even where mpv
    // still holds an old picture; a picture mpv waits for is still taken, without drawing it.
    const bool showMovie = render_ && (player_->isOpening() || player_->isLoaded());
    if (!showMovie || renderedSize_.isEmpty()) {
        gl->glClearColor(0, 0, 0, 1);
        gl->glClear(GL_COLOR_BUFFER_BIT);
    }
    if (!render_)
        return;
    mpv_render_frame_info next{};
    mpv_render_param info{MPV_RENDER_PARAM_NEXT_FRAME_INFO, &next};
    const bool waiting =
        mpv_render_context_get_info(render_, info) >= 0 && (next.flags & MPV_RENDER_FRAME_INFO_PRESENT);
    if (!waiting && size == mpvSize_)
        return;
    // A new picture, or the one shown redrawn at the new size.
    const bool draw = showMovie && (waiting || !renderedSize_.isEmpty());
    mpv_opengl_fbo fbo{int(defaultFramebufferObject()), size.width(), size.height(), 0};
    int flipY = 1;
    int skip = draw ? 0 : 1;
    mpv_render_param params[] = {
        {MPV_RENDER_PARAM_OPENGL_FBO, &fbo},
        {MPV_RENDER_PARAM_FLIP_Y, &flipY},
        {MPV_RENDER_PARAM_SKIP_RENDERING, &skip},
        {MPV_RENDER_PARAM_INVALID, nullptr},
    };
    mpv_render_context_render(render_, params);
    mpvSize_ = size;
    renderedSize_ = draw ? size : QSize();
    if (draw && waiting && !(next.flags & MPV_RENDER_FRAME_INFO_REDRAW)) {
        ++framesRendered_;
        Q_EMIT frameRendered();
    }
}
