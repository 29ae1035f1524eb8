#include "playback/VideoPlayerView.h"

#include "core/Events.h"
#include "models/SidecarLoader.h"
#include "playback/PlatformQuirks.h"
#include "playback/PlayerLog.h"

#include <mpv/client.h>
#include <mpv/render_gl.h>
#include <QCoreApplication>
#include <QMouseEvent>
#include <QOffscreenSurface>
#include <QOpenGLContext>
#include <QOpenGLFramebufferObject>
#include <QOpenGLFunctions>
#include <QPalette>
#include <QVBoxLayout>
#include <QWheelEvent>
#include <QWindow>
#include <functional>
#include <utility>

namespace {

void* glProcAddress(void*, const char* name) {
    QOpenGLContext* context = QOpenGLContext::currentContext();
    return context ? reinterpret_cast<void*>(context->getProcAddress(name)) : nullptr;
}

// The native window mpv draws into. It only shows pictures: the pointer, keys and drops pass
// through to the widgets around it, so the window's shortcuts and the video's double-click
// work as on any widget. Where the platform gives the window the pointer all the same (an event
// sent to the window itself), it hands each mouse event on to `view` and shows the view's cursor.
class VideoWindow : public QWindow {
public:
    VideoWindow(QWidget& view, std::function<void()> draw) : view_(view), draw_(std::move(draw)) {
        setSurfaceType(QSurface::OpenGLSurface);
        setFlags(Qt::WindowTransparentForInput | Qt::WindowDoesNotAcceptFocus);
        // Where the flag is ignored, a mask outside the window is what Qt hands the compositor
        // as the surface's input region: none of the window takes the pointer, which goes to
        // the widgets under it, double-clicks and cursor included.
        if (PlatformQuirks::current().windowsTakePointer)
            setMask(QRegion(-1, -1, 1, 1));
    }

protected:
    // Nothing keeps the window's pictures: each expose and each new size draws again (the
    // drawing itself knows whether the window is on screen).
    void exposeEvent(QExposeEvent*) override { draw_(); }
    void resizeEvent(QResizeEvent*) override { draw_(); }
    bool event(QEvent* event) override {
        if (PlatformQuirks::current().windowsTakePointer && handOn(event))
            return true;
        return QWindow::event(event);
    }

private:
    bool handOn(QEvent* event) {
        switch (event->type()) {
        case QEvent::MouseButtonPress:
        case QEvent::MouseButtonRelease:
        case QEvent::MouseButtonDblClick:
        case QEvent::MouseMove: {
            const auto* mouse = static_cast<QMouseEvent*>(event);
            // The window fills the view, so positions in both are the same.
            QMouseEvent copy(mouse->type(), mouse->position(), mouse->scenePosition(), mouse->globalPosition(),
                             mouse->button(), mouse->buttons(), mouse->modifiers(), mouse->pointingDevice());
            QCoreApplication::sendEvent(&view_, &copy);
            return true;
        }
        case QEvent::Wheel: {
            const auto* wheel = static_cast<QWheelEvent*>(event);
            QWheelEvent copy(wheel->position(), wheel->globalPosition(), wheel->pixelDelta(), wheel->angleDelta(),
                             wheel->buttons(), wheel->modifiers(), wheel->phase(), wheel->inverted());
            QCoreApplication::sendEvent(&view_, &copy);
            return true;
        }
        case QEvent::Enter:
            setCursor(view_.cursor());
            return false;
        default:
            return false;
        }
    }

    QWidget& view_;
    std::function<void()> draw_;
};

}  // namespace

VideoPlayerView::VideoPlayerView(QWidget* parent) : VideoPlayerView(Player::Options{}, parent) {}

VideoPlayerView::VideoPlayerView(Player::Options options, QWidget* parent)
    : QWidget(parent), player_(std::make_unique<Player>(Player::Options{true, options.audio})) {
    // Black until the window shows its first picture.
    setAutoFillBackground(true);
    QPalette black = palette();
    black.setColor(QPalette::Window, Qt::black);
    setPalette(black);

    window_ = new VideoWindow(*this, [this] { draw(); });
    QWidget* container = QWidget::createWindowContainer(window_, this);
    container->setAttribute(Qt::WA_TransparentForMouseEvents);
    container->setAcceptDrops(false);
    container->setFocusPolicy(Qt::NoFocus);
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(container);

    // A movie that cannot be opened leaves the surface black.
    connect(player_.get(), &Player::loadFinished, this, [this](bool ok) {
        if (!ok)
            draw();
    });
    // A large sidecar's subtitle file is written after its movie was handed over; the player
    // opens the movie once it is there.
    connect(&SidecarLoader::shared(), &SidecarLoader::playerFileWritten, this, [this](const QUrl& movie) {
        if (movie == url_)
            player_->subtitlesWritten(getPlayerItem(url_));
    });
    createRenderContext();
}

VideoPlayerView::~VideoPlayerView() {
    // The render context goes first, with its GL context current, then the player.
    if (render_ && gl_->makeCurrent(offscreen_.get())) {
        freeRenderContext();
        gl_->doneCurrent();
    }
    player_.reset();
}

void VideoPlayerView::setMovie(const QUrl& url, double duration, double startAt) {
    url_ = url;
    duration_ = duration;
    updateSurface(startAt);
}

void VideoPlayerView::setLength(double duration) {
    duration_ = duration;
    player_->setLength(duration);
}

void VideoPlayerView::updateSurface(double startAt) {
    if (url_.isEmpty())
        return;
    const PlayerItem item = getPlayerItem(url_);
    player_->replaceCurrentItem(item, startAt);
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
    if (player)
        player->setSubtitleStyle(SubtitleStyle::forPlacement(placement));
}

// The GL context and mpv's render context are made with the surface, on an offscreen surface,
// so that the player may open a movie before the window is on screen. A later draw makes the
// same context current on the window.
void VideoPlayerView::createRenderContext() {
    if (!player_->handle())
        return;
    gl_ = std::make_unique<QOpenGLContext>();
    gl_->setFormat(window_->requestedFormat());
    offscreen_ = std::make_unique<QOffscreenSurface>();
    if (!gl_->create()) {
        qCWarning(lcPlayer) << "No OpenGL context for the video surface: movies play without a picture";
        return;
    }
    offscreen_->setFormat(gl_->format());
    offscreen_->create();
    if (!gl_->makeCurrent(offscreen_.get())) {
        qCWarning(lcPlayer) << "The video surface's OpenGL context cannot be made current";
        return;
    }
    mpv_opengl_init_params glInit{&glProcAddress, nullptr};
    const char* apiType = MPV_RENDER_API_TYPE_OPENGL;
    mpv_render_param params[] = {
        {MPV_RENDER_PARAM_API_TYPE, const_cast<char*>(apiType)},
        {MPV_RENDER_PARAM_OPENGL_INIT_PARAMS, &glInit},
        {MPV_RENDER_PARAM_INVALID, nullptr},
    };
    if (mpv_render_context_create(&render_, player_->handle(), params) < 0) {
        render_ = nullptr;
        gl_->doneCurrent();
        qCWarning(lcPlayer) << "mpv cannot render into the video surface";
        return;
    }
    gl_->doneCurrent();
    mpv_render_context_set_update_callback(render_, &VideoPlayerView::renderUpdateRequested, this);
    // mpv learns the size it draws at from a render.
    draw();
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

// Called on one of mpv's threads: only queue a draw onto the GUI thread.
void VideoPlayerView::renderUpdateRequested(void* context) {
    auto* self = static_cast<VideoPlayerView*>(context);
    if (self->repaintQueued_.exchange(true))
        return;
    QMetaObject::invokeMethod(
        self, [self] { self->onRenderRequested(); }, Qt::QueuedConnection);
}

// mpv asks for a render whenever it has something to show, and each such request is answered
// at once: a picture mpv queued is drawn (or, off screen, taken) by the render that follows.
void VideoPlayerView::onRenderRequested() {
    repaintQueued_ = false;
    if (!render_)
        return;
    if ((mpv_render_context_update(render_) & MPV_RENDER_UPDATE_FRAME) || targetSize() != mpvSize_)
        draw();
}

// mpv holds a picture that the next render takes, and not the shown one again.
bool VideoPlayerView::newPictureWaiting() const {
    mpv_render_frame_info next{};
    mpv_render_param info{MPV_RENDER_PARAM_NEXT_FRAME_INFO, &next};
    return mpv_render_context_get_info(render_, info) >= 0 && (next.flags & MPV_RENDER_FRAME_INFO_PRESENT) &&
           !(next.flags & MPV_RENDER_FRAME_INFO_REDRAW);
}

bool VideoPlayerView::isExposed() const {
    if (window_->isExposed())
        return true;
    if (!PlatformQuirks::current().childExposedLate || !window_->handle() || !window_->isVisible())
        return false;
    // The window is a sub-surface of the top-level one: on screen whenever that is.
    const QWindow* topLevel = window()->windowHandle();
    return topLevel && topLevel->isExposed();
}

// The video window shows the view's cursor, the one its ancestors set included, since the
// pointer over the video is the window's where the platform gives the window the pointer.
bool VideoPlayerView::eventFilter(QObject* watched, QEvent* event) {
    if (event->type() == QEvent::CursorChange && watched->isWidgetType())
        window_->setCursor(cursor());
    return QWidget::eventFilter(watched, event);
}

void VideoPlayerView::followAncestorCursors() {
    if (!PlatformQuirks::current().windowsTakePointer)
        return;
    for (QWidget* widget = this; widget; widget = widget->parentWidget())
        widget->installEventFilter(this);  // a second install moves the filter, adds none
    window_->setCursor(cursor());
}

bool VideoPlayerView::event(QEvent* event) {
    if (event->type() == QEvent::ParentChange || event->type() == QEvent::Show)
        followAncestorCursors();
    return QWidget::event(event);
}

bool VideoPlayerView::showsMovie() const { return player_->isOpening() || player_->isLoaded(); }

// The window's size in device pixels; before it is on screen, the widget's.
QSize VideoPlayerView::targetSize() const {
    const QSize pixels = isExposed() ? window_->size() * window_->devicePixelRatio() : size() * devicePixelRatioF();
    return pixels.isEmpty() ? QSize(16, 9) : pixels;
}

// Renders mpv's newest picture into the window and shows it. Off screen, a picture mpv offers
// is taken without drawing (mpv keeps it and draws it again once asked), so that playback
// never waits for the window. Without a movie to show (none, or a failed one) the window stays
// black, even where mpv still holds an old picture.
void VideoPlayerView::draw() {
    if (!render_)
        return;
    const bool exposed = isExposed();
    const QSize size = targetSize();
    if (!gl_->makeCurrent(exposed ? static_cast<QSurface*>(window_) : offscreen_.get()))
        return;
    const bool newPicture = newPictureWaiting();
    const bool drawn = exposed && showsMovie();
    if (exposed && !drawn) {
        QOpenGLFunctions* gl = gl_->functions();
        gl->glClearColor(0, 0, 0, 1);
        gl->glClear(GL_COLOR_BUFFER_BIT);
    }
    mpv_opengl_fbo fbo{int(gl_->defaultFramebufferObject()), size.width(), size.height(), 0};
    int flipY = 1;
    int skip = drawn ? 0 : 1;
    mpv_render_param params[] = {
        {MPV_RENDER_PARAM_OPENGL_FBO, &fbo},
        {MPV_RENDER_PARAM_FLIP_Y, &flipY},
        {MPV_RENDER_PARAM_SKIP_RENDERING, &skip},
        {MPV_RENDER_PARAM_INVALID, nullptr},
    };
    mpv_render_context_render(render_, params);
    mpvSize_ = size;
    if (exposed)
        gl_->swapBuffers(window_);
    gl_->doneCurrent();
    if (drawn && (newPicture || std::exchange(undrawnPicture_, false))) {
        ++framesRendered_;
        Q_EMIT frameRendered();
    } else if (!exposed && newPicture && showsMovie()) {
        undrawnPicture_ = true;
    }
}

QImage VideoPlayerView::grabFramebuffer() {
    const QSize size = targetSize();
    QImage image(size, QImage::Format_RGB32);
    image.fill(Qt::black);
    if (!render_ || !showsMovie() || !gl_->makeCurrent(offscreen_.get()))
        return image;
    const bool newPicture = newPictureWaiting();
    {
        QOpenGLFramebufferObject target(size);
        mpv_opengl_fbo fbo{int(target.handle()), size.width(), size.height(), 0};
        int flipY = 1;
        mpv_render_param params[] = {
            {MPV_RENDER_PARAM_OPENGL_FBO, &fbo},
            {MPV_RENDER_PARAM_FLIP_Y, &flipY},
            {MPV_RENDER_PARAM_INVALID, nullptr},
        };
        mpv_render_context_render(render_, params);
        mpvSize_ = size;
        image = target.toImage().convertToFormat(QImage::Format_RGB32);
    }
    gl_->doneCurrent();
    // A picture this grab took from mpv goes on screen too.
    if (newPicture) {
        undrawnPicture_ = true;
        draw();
    }
    return image;
}
