#include "ui/ContentView.h"

#include "core/AppState.h"
#include "core/Events.h"
#include "core/Records.h"
#include "models/SubtitlesViewModel.h"
#include "playback/VideoPlayerView.h"
#include "playback/VideoToolbarView.h"

#include <QEvent>
#include <QStackedLayout>
#include <QTimer>
#include <utility>

ContentView::ContentView(QWidget* parent) : QWidget(parent) {
    toolbar_ = new VideoToolbarView(this);
    setMinimumSize(700, 500);
    setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Expanding);

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

    connect(&notify(), &ApplicationEvents::videoSelected, this, &ContentView::onVideoSelected, Qt::DirectConnection);
    // The marks of a large sidecar come in after the selection: the timeline shows them then.
    connect(&SubtitlesViewModel::shared(), &SubtitlesViewModel::loadingChanged, toolbar_, [this](bool loading) {
        if (!loading)
            toolbar_->setCellMarks();
    });
    resumeTimer_ = new QTimer(this);
    resumeTimer_->setInterval(10000);
    connect(resumeTimer_, &QTimer::timeout, this, [this] {
        if (player() && player()->isPlaying())
            rememberPosition();
    });
    resumeTimer_->start();
}

bool ContentView::eventFilter(QObject* watched, QEvent* event) {
    if (watched == video_ || watched == black_) {
        if (event->type() == QEvent::MouseButtonDblClick)
            Q_EMIT doubleClicked();
        else if (event->type() == QEvent::MouseMove)
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

void ContentView::rememberPosition() {
    Player* open = player();
    if (!url_ || !open || !open->isLoaded() || !ResumeStore::enabled(user()))
        return;
    resume_.remember(*url_, open->currentTime(), duration_.value_or(0));
}

void ContentView::setDuration(double seconds) {
    if (!url_ || duration_ == seconds)
        return;
    duration_ = seconds;
    SubtitlesViewModel::shared().setMovieDuration(seconds);
    toolbar_->setDuration(seconds);
    if (video_)
        video_->setLength(seconds);
}

void ContentView::onVideoSelected(const VideoItem& item) {
    rememberPosition();  // of the movie being left
    url_ = item.url;
    duration_ = item.duration;
    global().movieURL = item.url;
    // The surface is made on the first selection, unless it was made ahead; each later
    // selection updates it.
    if (!video_) {
        video_ = prepared_ ? std::exchange(prepared_, nullptr) : makeSurface();
        stack_->setCurrentWidget(video_);
    }
    video_->setMovie(*url_, *duration_);
    // Where the user left this movie, unless that was near its start or end.
    if (ResumeStore::enabled(user()))
        if (const auto position = resume_.position(*url_, *duration_))
            video_->player()->seek(*position);
}
