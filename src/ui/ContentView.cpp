#include "ui/ContentView.h"

#include "core/Records.h"
#include "models/SubtitlesViewModel.h"
#include "playback/VideoPlayerView.h"
#include "playback/VideoToolbarView.h"
#include "ui/OpenMovie.h"

#include <QEvent>
#include <QStackedLayout>
#include <QWheelEvent>
#include <utility>

ContentView::ContentView(OpenMovie& movie, QWidget* parent) : QWidget(parent), movie_(movie) {
    toolbar_ = new VideoToolbarView(this);
    setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Expanding);
    // A click on the video takes the keys from a text field, back to the window's player keys.
    setFocusPolicy(Qt::ClickFocus);

    black_ = new QWidget(this);
    black_->setAutoFillBackground(true);
    QPalette palette = black_->palette();
    palette.setColor(QPalette::Window, Qt::black);
    black_->setPalette(palette);
    black_->setMouseTracking(true);
    black_->installEventFilter(this);

    stack_ = new QStackedLayout(this);
    stack_->setContentsMargins(0, 0, 0, 0);
    stack_->addWidget(black_);

    connect(&movie_, &OpenMovie::opened, this, &ContentView::showMovie);
    connect(&movie_, &OpenMovie::lengthChanged, this, &ContentView::followLength);
    // The marks of a large sidecar come in after the selection: the timeline shows them then.
    connect(&movie_, &OpenMovie::subtitlesReady, toolbar_,
            [this] { toolbar_->setTimelineMarks(movie_.marks().items()); });
    connect(&movie_, &OpenMovie::markAdded, toolbar_, &VideoToolbarView::addTimelineMark);
    connect(&movie_, &OpenMovie::markRemoved, toolbar_, &VideoToolbarView::removeTimelineMark);
}

bool ContentView::eventFilter(QObject* watched, QEvent* event) {
    if (watched == video_ || watched == black_) {
        if (event->type() == QEvent::MouseButtonDblClick) {
            Q_EMIT doubleClicked();
        } else if (event->type() == QEvent::Wheel) {
            // The wheel over the video steps the volume, 5 % a notch.
            const int notches = static_cast<QWheelEvent*>(event)->angleDelta().y() / 120;
            if (notches != 0)
                toolbar_->changeVolumeBy(0.05 * notches);
            return true;
        } else if (event->type() == QEvent::MouseMove)
            Q_EMIT pointerMoved();
    }
    return QWidget::eventFilter(watched, event);
}

VideoPlayerView* ContentView::makeSurface() {
    auto* surface = new VideoPlayerView(this);
    surface->setMouseTracking(true);
    surface->installEventFilter(this);
    stack_->addWidget(surface);
    return surface;
}

void ContentView::prepareSurface() {
    if (!video_ && !prepared_)
        prepared_ = makeSurface();
}

Player* ContentView::player() const { return video_ ? video_->player() : nullptr; }

void ContentView::followLength(double seconds) {
    toolbar_->setDuration(seconds);
    toolbar_->setTimelineMarks(movie_.marks().items());  // each mark's tick moves with the length
    if (video_)
        video_->setLength(seconds);
}

void ContentView::showMovie(const VideoItem& item) {
    // The surface is made on the first selection, unless it was made ahead; each later
    // selection updates it.
    if (!video_) {
        video_ = prepared_ ? std::exchange(prepared_, nullptr) : makeSurface();
        stack_->setCurrentWidget(video_);
        movie_.setPlayer(video_->player());
    }
    // It opens where the user left it, so that its first picture is that one.
    video_->setMovie(item.url(), item.duration, movie_.startPosition());
}
