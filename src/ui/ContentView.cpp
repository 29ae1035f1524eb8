#include "ui/ContentView.h"

#include "core/AppState.h"
#include "core/Events.h"
#include "core/Records.h"
#include "models/SubtitlesViewModel.h"
#include "playback/Player.h"
#include "playback/VideoPlayerView.h"
#include "playback/VideoToolbarView.h"

#include <QEvent>
#include <QStackedLayout>

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

    notify().observe(Events::videoReady, this, [this](const QVariant& object) {
        if (auto player = eventObject<Player*>(object); player && *player)
            player_ = *player;
    });
    notify().observe(Events::videoSelected, this, [this](const QVariant& object) { onVideoSelected(object); });
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

void ContentView::setDuration(double seconds) {
    if (!url_ || duration_ == seconds)
        return;
    duration_ = seconds;
    SubtitlesViewModel::shared().setMovieDuration(seconds);
    toolbar_->setDuration(seconds);
    if (video_)
        video_->setLength(seconds);
}

void ContentView::onVideoSelected(const QVariant& object) {
    const auto item = eventObject<VideoItem>(object);
    if (!item)
        return;
    url_ = item->url;
    duration_ = item->duration;
    global().movieURL = item->url;
    // The surface is made on the first selection; each later one updates it.
    if (!video_) {
        video_ = new VideoPlayerView(this);
        video_->setMouseTracking(true);
        video_->installEventFilter(this);
        stack_->addWidget(video_);
        stack_->setCurrentWidget(video_);
    }
    video_->setMovie(*url_, *duration_);
}
