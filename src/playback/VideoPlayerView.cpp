#include "playback/VideoPlayerView.h"

#include "core/Events.h"

#include <QOpenGLContext>
#include <QOpenGLFunctions>
#include <mpv/client.h>
#include <mpv/render_gl.h>
#include <utility>

namespace {

void* glProcAddress(void*, const char* name) {
    QOpenGLContext* context = QOpenGLContext::currentContext();
    return context ? reinterpret_cast<void*>(context->getProcAddress(name)) : nullptr;
}

// Whether the next render shows a picture mpv has not shown yet.
bool nextIsNewPicture(mpv_render_context* render) {
    mpv_render_frame_info next{};
    mpv_render_param info{MPV_RENDER_PARAM_NEXT_FRAME_INFO, &next};
    return mpv_render_context_get_info(render, info) >= 0 && (next.flags & MPV_RENDER_FRAME_INFO_PRESENT) &&
           !(next.flags & MPV_RENDER_FRAME_INFO_REDRAW);
}

}  // namespace

VideoPlayerView::VideoPlayerView(QWidget* parent) : VideoPlayerView(Player::Options{}, parent) {}

VideoPlayerView::VideoPlayerView(Player::Options options, QWidget* parent)
    : QOpenGLWidget(parent), player_(std::make_unique<Player>(Player::Options{true, options.audio})) {
    // A movie that cannot be opened leaves the surface black.
    connect(player_.get(), &Player::loadFinished, this, [this](bool ok) {
        if (!ok)
            update();
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
    notify().post(Events::videoReady, QVariant::fromValue(player));
    if (std::exchange(reportsPosted_, true))
        return;
    connect(player, &Player::positionReported, this,
            [](double seconds) { notify().post(Events::videoPlaying, QVariant(seconds)); });
}

void VideoPlayerView::setSubtitleStyle(Player* player, int style) {
    const QList<TextStyleRule> rules = subtitleStyleRules(style);
    if (!player || !player->currentItem())
        return;
    player->setTextStyleRules(rules);
    player->setSubtitlesVisible(subtitlesVisible(style));
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
    connect(context(), &QOpenGLContext::aboutToBeDestroyed, this, [this] {
        makeCurrent();
        freeRenderContext();
        doneCurrent();
    }, Qt::DirectConnection);
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
        self,
        [self] { self->onRenderRequested(); },
        Qt::QueuedConnection);
}

// mpv asks for a render whenever it wants one, and waits for it. A real picture is drawn
// through a repaint of the widget; a request without a new picture while the next movie
// opens (the old picture again, or nothing yet) is answered at once without drawing, which
// spares a repaint of the whole window before the new movie's first picture.
void VideoPlayerView::onRenderRequested() {
    repaintQueued_ = false;
    if (!render_)
        return;
    makeCurrent();
    bool repaint = mpv_render_context_update(render_) & MPV_RENDER_UPDATE_FRAME;
    if (repaint && player_->isOpening() && !nextIsNewPicture(render_)) {
        int skip = 1;
        mpv_render_param params[] = {{MPV_RENDER_PARAM_SKIP_RENDERING, &skip}, {MPV_RENDER_PARAM_INVALID, nullptr}};
        mpv_render_context_render(render_, params);
        repaint = false;
    }
    doneCurrent();
    if (repaint)
        update();
}

void VideoPlayerView::paintGL() {
    QOpenGLFunctions* gl = context()->functions();
    gl->glClearColor(0, 0, 0, 1);
    gl->glClear(GL_COLOR_BUFFER_BIT);
    if (!render_)
        return;

    const bool newPicture = nextIsNewPicture(render_);
    const qreal scale = devicePixelRatioF();
    mpv_opengl_fbo fbo{int(defaultFramebufferObject()), int(width() * scale), int(height() * scale), 0};
    int flipY = 1;
    // mpv waits for each render it asked for, so it always gets one; without a movie to show
    // (none, or a failed one) it draws nothing and the surface stays black, even where mpv
    // still holds an old picture.
    int skip = player_->isOpening() || player_->isLoaded() ? 0 : 1;
    mpv_render_param params[] = {
        {MPV_RENDER_PARAM_OPENGL_FBO, &fbo},
        {MPV_RENDER_PARAM_FLIP_Y, &flipY},
        {MPV_RENDER_PARAM_SKIP_RENDERING, &skip},
        {MPV_RENDER_PARAM_INVALID, nullptr},
    };
    mpv_render_context_render(render_, params);
    if (newPicture && !skip) {
        ++framesRendered_;
        emit frameRendered();
    }
}
