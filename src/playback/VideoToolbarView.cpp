#include "playback/VideoToolbarView.h"

#include "core/AppState.h"
#include "core/Events.h"
#include "core/TimeFormat.h"
#include "playback/PlatformQuirks.h"
#include "playback/Player.h"
#include "playback/Symbols.h"
#include "playback/ThumbnailProvider.h"
#include "playback/TimelinePreview.h"
#include "playback/VideoPlayerView.h"
#include "playback/VideoSlider.h"

#include <QActionGroup>
#include <QCoreApplication>
#include <QFrame>
#include <QHBoxLayout>
#include <QLabel>
#include <QMenu>
#include <QPainter>
#include <QPainterPath>
#include <QScreen>
#include <QSettings>
#include <QSlider>
#include <QTimer>
#include <QToolButton>
#include <algorithm>
#include <cmath>
#include <utility>

namespace {

const QString subtitleStyleKey = QStringLiteral("subtitleStyle");
const QString volumeKey = QStringLiteral("volume");
constexpr int volumeHideMs = 3000;

QString timeText(double seconds) { return formatTime(std::round(seconds)); }
int timeWidth(double seconds) { return seconds < 3600 ? 40 : 60; }
double percentOf(double seconds, double duration) { return duration > 0 ? seconds * 100.0 / duration : 0.0; }

QToolButton* iconButton(const QString& objectName, QWidget* parent) {
    auto* button = new QToolButton(parent);
    button->setObjectName(objectName);
    button->setAutoRaise(true);
    button->setFocusPolicy(Qt::NoFocus);
    return button;
}

QLabel* timeLabel(const QString& objectName, QWidget* parent) {
    auto* label = new QLabel(parent);
    label->setObjectName(objectName);
    label->setAlignment(Qt::AlignCenter);
    QPalette palette = label->palette();
    palette.setColor(QPalette::WindowText, Qt::gray);
    label->setPalette(palette);
    return label;
}

}  // namespace

VideoToolbarView::VideoToolbarView(QWidget* parent) : QWidget(parent) {
    // The remembered choices, as the bar comes up (a first run: full volume, subtitles at the bottom).
    subtitleStyle_ = userSubtitlePlacement();
    volumeValue_ = userVolume();

    volumeTimer_ = new QTimer(this);
    volumeTimer_->setSingleShot(true);
    volumeTimer_->setInterval(volumeHideMs);
    connect(volumeTimer_, &QTimer::timeout, this, [this] {
        // Not from under the pointer, nor while its slider is held: it goes once they leave.
        if (volumeSlider_->isSliderDown() || volumePopup_->underMouse())
            setVolumeTimer();
        else
            setShowVolume(false);
    });

    buildBar();
    buildVolumePopup();
    buildVolumeMenu();
    observeEvents();
    refresh();
}

VideoToolbarView::~VideoToolbarView() {
    // The pop-up may live in the window rather than in this bar.
    delete volumePopup_.data();
}

void VideoToolbarView::buildBar() {
    auto* row = new QHBoxLayout(this);
    row->setContentsMargins(3, 3, 3, 3);
    row->setSpacing(5);
    // At least 510 wide; the timeline takes whatever the window gives beyond that.
    setMinimumWidth(510);
    setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Fixed);

    prevButton_ = iconButton(QStringLiteral("prevButton"), this);
    prevButton_->setIcon(symbolIcon(QStringLiteral("gobackward.5")));
    prevButton_->setToolTip(tr("Back 5 seconds"));
    connect(prevButton_, &QToolButton::clicked, this, [this] { skipBy(-skipSeconds); });

    playButton_ = iconButton(QStringLiteral("playButton"), this);
    playButton_->setIconSize(QSize(14, 16));
    playButton_->setContentsMargins(3, 0, 3, 0);
    connect(playButton_, &QToolButton::clicked, this, &VideoToolbarView::togglePlay);

    nextButton_ = iconButton(QStringLiteral("nextButton"), this);
    nextButton_->setIcon(symbolIcon(QStringLiteral("goforward.5")));
    nextButton_->setToolTip(tr("Forward 5 seconds"));
    connect(nextButton_, &QToolButton::clicked, this, [this] { skipBy(skipSeconds); });

    elapsedLabel_ = timeLabel(QStringLiteral("elapsedTime"), this);

    slider_ = new VideoSlider(cell_, this);
    slider_->setObjectName(QStringLiteral("timeline"));
    slider_->setMinimumWidth(150);
    slider_->setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Fixed);
    slider_->onValueChanged = [this](double value) { seekFromTimeline(value); };
    // Its pictures come from a decoder of its own, never from the player.
    preview_ = new TimelinePreview(*slider_);

    totalLabel_ = timeLabel(QStringLiteral("totalTime"), this);
    // The playback speed, shown only when it is not the normal one.
    speedLabel_ = timeLabel(QStringLiteral("speed"), this);
    speedLabel_->hide();

    volumeButton_ = iconButton(QStringLiteral("volumeButton"), this);
    volumeButton_->setFixedWidth(20);
    connect(volumeButton_, &QToolButton::clicked, this, [this] { setShowVolume(!showVolume_); });

    subtitleMenu_ = new QMenu(this);
    subtitleMenu_->setObjectName(QStringLiteral("subtitleMenu"));
    const std::pair<QString, SubtitlePlacement> choices[] = {
        {tr("Subtitle None"), SubtitlePlacement::none},
        {tr("Subtitle Top"), SubtitlePlacement::top},
        {tr("Subtitle Bottom"), SubtitlePlacement::bottom},
    };
    for (const auto& [label, placement] : choices)
        subtitleMenu_->addAction(label, this, [this, placement] { setSubtitleStyle(placement); });
    connect(subtitleMenu_, &QMenu::aboutToShow, this, &VideoToolbarView::listTracks);
    subtitleButton_ = iconButton(QStringLiteral("subtitleButton"), this);
    subtitleButton_->setFixedWidth(50);
    subtitleButton_->setMenu(subtitleMenu_);
    subtitleButton_->setPopupMode(QToolButton::InstantPopup);

    row->addWidget(prevButton_);
    row->addWidget(playButton_);
    row->addWidget(nextButton_);
    row->addWidget(elapsedLabel_);
    row->addSpacing(5);  // the timeline's own padding
    row->addWidget(slider_, 1);
    row->addSpacing(5);  // the timeline's own padding
    row->addWidget(totalLabel_);
    row->addWidget(speedLabel_);
    row->addSpacing(5);
    row->addWidget(volumeButton_);
    row->addWidget(subtitleButton_);
}

void VideoToolbarView::buildVolumePopup() {
    if (PlatformQuirks::current().popupsAsTopLevel) {
        // A window of its own over the main one. Not a Qt::Popup: Qt 6.4 makes that a Wayland
        // pop-up only after a pointer or key event reached the program, and otherwise a window
        // of its own that the compositor places anywhere (the volume also changes from media
        // keys of the desktop). A tooltip window is a pop-up always, takes no grab and no focus;
        // the timer and the button close it, as they close the pop-up elsewhere.
        volumePopup_ = new QFrame(this, Qt::ToolTip | Qt::FramelessWindowHint | Qt::WindowDoesNotAcceptFocus);
        volumePopup_->setAttribute(Qt::WA_ShowWithoutActivating);
    } else {
        volumePopup_ = new QFrame(this);
    }
    volumePopup_->setObjectName(QStringLiteral("volumePopup"));
    volumePopup_->setAutoFillBackground(true);
    volumePopup_->setFrameShape(QFrame::StyledPanel);
    auto* layout = new QHBoxLayout(volumePopup_);
    layout->setContentsMargins(2 + 10, 2, 2 + 10, 2);
    volumeSlider_ = new QSlider(Qt::Horizontal, volumePopup_);
    volumeSlider_->setObjectName(QStringLiteral("volumeSlider"));
    volumeSlider_->setRange(0, 100);
    volumeSlider_->setFixedWidth(120);
    volumeSlider_->setValue(int(std::lround(volumeValue_ * 100)));
    layout->addWidget(volumeSlider_);
    volumePopup_->hide();

    connect(volumeSlider_, &QSlider::valueChanged, this, &VideoToolbarView::volumeSliderMoved);
    connect(volumeSlider_, &QSlider::sliderPressed, this, [this] { volumeEditingChanged(true); });
    connect(volumeSlider_, &QSlider::sliderReleased, this, [this] { volumeEditingChanged(false); });
}

void VideoToolbarView::observeEvents() {
    ApplicationEvents* events = &notify();
    connect(events, &ApplicationEvents::videoSelected, this, &VideoToolbarView::onVideoSelected, Qt::DirectConnection);
    connect(events, &ApplicationEvents::videoLoaded, this, &VideoToolbarView::onVideoLoaded, Qt::DirectConnection);
    connect(events, &ApplicationEvents::videoCursorChanged, this, &VideoToolbarView::onVideoCursorChanged,
            Qt::DirectConnection);
}

void VideoToolbarView::onVideoSelected(const VideoItem& item) {
    doubleValue_ = 0;
    playTime_ = 0;
    duration_ = item.duration;
    preview_->setMovie(item.path, item.duration);
    // The new movie's marks come once its sidecar is read.
    setTimelineMarks({});
    refresh();
}

void VideoToolbarView::onVideoLoaded(Player* player) {
    if (!player)
        return;
    if (player_ != player) {
        if (player_)
            disconnect(player_, nullptr, this, nullptr);
        player_ = player;
        connect(player, &Player::stateChanged, this, &VideoToolbarView::refreshIcons);
        connect(player, &QObject::destroyed, this, &VideoToolbarView::refreshIcons);
    }
    player->pause();
    player->setVolume(float(volumeValue_));
    VideoPlayerView::setSubtitleStyle(player, subtitleStyle_);
    refreshIcons();
}

void VideoToolbarView::onVideoCursorChanged(double seconds) {
    // While a seek is under way the timeline stays on its target: a position reported on the
    // way there (an earlier step's landing) would pull it back.
    const auto target = player_ ? player_->seekTarget() : std::nullopt;
    doubleValue_ = percentOf(target.value_or(seconds), duration_);
    playTime_ = seconds;
    refresh();
}

void VideoToolbarView::setDuration(double seconds) {
    duration_ = seconds;
    // The file changed on disk: pictures decoded before may no longer be in it.
    preview_->setMovie(preview_->provider().movie(), seconds);
    doubleValue_ = percentOf(playTime_, duration_);
    refresh();
}

void VideoToolbarView::seekFromTimeline(double value) {
    // The position shown follows from the next position report.
    if (player_)
        player_->seek(duration_ * value * 0.01);
}

void VideoToolbarView::skipBy(double seconds) {
    if (!player_)
        return;
    // From where the player is going while a seek is under way, so that quick presses add up;
    // else from the last reported position.
    double target = player_->seekTarget().value_or(playTime_) + seconds;
    if (!(target > 0))
        target = 0;
    if (duration_ < target)
        target = duration_;
    player_->seek(target);
    player_->showMessage(timeText(target) + QStringLiteral(" / ") + timeText(duration_));
    doubleValue_ = percentOf(target, duration_);
    refresh();
}

void VideoToolbarView::togglePlay() {
    if (!player_)
        return;
    if (player_->rate() != 0 && player_->error().isEmpty()) {
        player_->pause();
    } else {
        // At the end, playing again starts the movie over, as players do.
        if (player_->isAtEnd())
            player_->seek(0.0);
        player_->play();
    }
    refreshIcons();
}

void VideoToolbarView::setTimelineMarks(const QList<SubtitleItem>& items) {
    marks_ = TimelineMarks(items);
    showTimelineMarks();
}

void VideoToolbarView::addTimelineMark(const SubtitleItem& item) {
    marks_.add(item);
    showTimelineMarks();
}

void VideoToolbarView::removeTimelineMark(const SubtitleItem& item) {
    marks_.remove(item);
    showTimelineMarks();
}

void VideoToolbarView::showTimelineMarks() {
    cell_.setMarks(marks_);
    preview_->setMarks(marks_);
    slider_->update();
}

void VideoToolbarView::setSubtitleStyle(SubtitlePlacement placement) {
    if (std::exchange(subtitleStyle_, placement) != placement)
        user().setValue(subtitleStyleKey, static_cast<int>(placement));
    if (player_)
        VideoPlayerView::setSubtitleStyle(player_, placement);
    refreshIcons();
}

void VideoToolbarView::setVolumeTimer() { volumeTimer_->start(); }

void VideoToolbarView::changeVolumeBy(double delta) {
    // The slider's own change handler sets the player, the icon and the setting.
    volumeSlider_->setValue(int(std::lround(std::clamp(volumeValue_ + delta, 0.0, 1.0) * 100)));
    if (player_)
        player_->showMessage(volumeMessage());
}

void VideoToolbarView::setShowVolume(bool show) {
    showVolume_ = show;
    if (!show) {
        volumeTimer_->stop();
        volumePopup_->hide();
        return;
    }
    // Shown over the window's content, under the volume button: in a native window of its
    // own, so that it also shows over the video, which mpv draws into a native window. Its
    // siblings (the panes) stay plain widgets, or they would cover the video.
    if (!volumePopup_->isWindow() && volumePopup_->parentWidget() != window()) {
        QCoreApplication::setAttribute(Qt::AA_DontCreateNativeWidgetSiblings);
        volumePopup_->setParent(window());
        volumePopup_->setAttribute(Qt::WA_NativeWindow);
    }
    placeVolumePopup();
    volumePopup_->show();
    volumePopup_->raise();
    setVolumeTimer();
}

void VideoToolbarView::placeVolumePopup() {
    volumePopup_->adjustSize();
    if (volumePopup_->isWindow()) {
        const QPoint below =
            volumeButton_->mapToGlobal(QPoint(volumeButton_->width() / 2, volumeButton_->height() + 4));
        QPoint at(below.x() - volumePopup_->width() / 2, below.y());
        if (const QScreen* screen = volumeButton_->screen()) {
            const QRect area = screen->availableGeometry();
            at.setX(std::clamp(at.x(), area.left(), std::max(area.left(), area.right() + 1 - volumePopup_->width())));
        }
        volumePopup_->move(at);
        return;
    }
    QWidget* host = volumePopup_->parentWidget();
    const QPoint below = volumeButton_->mapTo(host, QPoint(volumeButton_->width() / 2, volumeButton_->height() + 4));
    const int x =
        std::clamp(below.x() - volumePopup_->width() / 2, 0, std::max(0, host->width() - volumePopup_->width()));
    volumePopup_->move(x, std::min(below.y(), std::max(0, host->height() - volumePopup_->height())));
}

// The player's volume follows the slider when a drag starts and when it ends.
void VideoToolbarView::volumeEditingChanged(bool editing) {
    if (player_)
        player_->setVolume(float(volumeValue_));
    if (editing) {
        setVolumeTimer();
        return;
    }
    user().setValue(volumeKey, volumeValue_);
    setShowVolume(false);
}

void VideoToolbarView::volumeSliderMoved(int value) {
    volumeValue_ = value / 100.0;
    refreshIcons();
    if (volumeSlider_->isSliderDown())
        return;
    // A key or the wheel: a whole edit at once; the pop-up stays for the next one.
    if (player_)
        player_->setVolume(float(volumeValue_));
    user().setValue(volumeKey, volumeValue_);
    setVolumeTimer();
}

QString VideoToolbarView::playIcon() const {
    if (!player_)
        return QStringLiteral("play.slash");
    return player_->rate() != 0 && player_->error().isEmpty() ? QStringLiteral("pause") : QStringLiteral("play");
}

QString VideoToolbarView::volumeIcon() const { return volumeIcon(player_ && player_->isMuted() ? 0.0 : volumeValue_); }

void VideoToolbarView::toggleMute() {
    if (!player_)
        return;
    player_->setMuted(!player_->isMuted());
    player_->showMessage(player_->isMuted() ? tr("Mute") : volumeMessage());
    refreshIcons();
}

QString VideoToolbarView::volumeIcon(double volume) {
    if (volume > 0.7)
        return QStringLiteral("speaker.wave.3");
    if (volume > 0.4)
        return QStringLiteral("speaker.wave.2");
    if (volume > 0.1)
        return QStringLiteral("speaker.wave.1");
    if (volume > 0.05)
        return QStringLiteral("speaker");
    return QStringLiteral("speaker.slash");
}

QString VideoToolbarView::subtitleIcon() const {
    return subtitleStyle_ == SubtitlePlacement::none ? QStringLiteral("photo") : QStringLiteral("text.below.photo");
}

void VideoToolbarView::refresh() {
    elapsedLabel_->setText(timeText(playTime_));
    elapsedLabel_->setFixedWidth(timeWidth(playTime_));
    totalLabel_->setText(timeText(duration_));
    totalLabel_->setFixedWidth(timeWidth(duration_));
    slider_->setDoubleValue(doubleValue_);
    refreshIcons();
}

void VideoToolbarView::refreshIcons() {
    auto show = [](QToolButton* button, const QString& symbol) {
        if (button->property("symbol").toString() == symbol)
            return;
        button->setProperty("symbol", symbol);
        button->setIcon(symbolIcon(symbol));
    };
    show(playButton_, playIcon());
    show(volumeButton_, volumeIcon());
    show(subtitleButton_, subtitleIcon());
    const double speed = player_ ? player_->speed() : 1.0;
    speedLabel_->setText(QString::number(speed, 'g', 3) + QStringLiteral("\u00d7"));
    speedLabel_->setVisible(speed != 1.0);
}

void VideoToolbarView::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    QColor outline(Qt::gray);
    outline.setAlphaF(0.2f);
    painter.setPen(QPen(outline, 1.0));
    painter.setBrush(Qt::NoBrush);
    painter.drawRoundedRect(QRectF(rect()).adjusted(0.5, 0.5, -0.5, -0.5), 5.0, 5.0);
}

// --- The volume button's menu, the track choice, messages ---

QString VideoToolbarView::volumeMessage() const {
    const QString volume = tr("Volume %1 %").arg(std::lround(volumeValue_ * 100));
    return player_ && player_->isMuted() ? tr("%1 (muted)").arg(volume) : volume;
}

void VideoToolbarView::buildVolumeMenu() {
    volumeMenu_ = new QMenu(this);
    volumeMenu_->setObjectName(QStringLiteral("volumeMenu"));
    muteAction_ = volumeMenu_->addAction(tr("Mute"));
    muteAction_->setObjectName(QStringLiteral("muteAction"));
    muteAction_->setCheckable(true);
    connect(muteAction_, &QAction::triggered, this, [this](bool mute) {
        if (player_ && player_->isMuted() != mute)
            toggleMute();
    });
    // The menu shows the player as it is now: Ctrl+M or the desktop may have muted it.
    connect(volumeMenu_, &QMenu::aboutToShow, this, [this] {
        muteAction_->setEnabled(player_ != nullptr);
        muteAction_->setChecked(player_ && player_->isMuted());
    });
    volumeButton_->setContextMenuPolicy(Qt::CustomContextMenu);
    connect(volumeButton_, &QWidget::customContextMenuRequested, this,
            [this](const QPoint& at) { volumeMenu_->popup(volumeButton_->mapToGlobal(at)); });
}

void VideoToolbarView::listTracks() {
    // The lists of the last opening go: the movie or its tracks may have changed since.
    for (QAction* action : subtitleMenu_->actions())
        if (action->property("track").isValid())
            delete action;
    qDeleteAll(subtitleMenu_->findChildren<QActionGroup*>(Qt::FindDirectChildrenOnly));
    if (!player_)
        return;
    const auto label = [](const Player::Track& track) {
        if (!track.title.isEmpty())
            return track.language.isEmpty() ? track.title : QStringLiteral("%1 (%2)").arg(track.title, track.language);
        return track.language.isEmpty() ? tr("Track %1").arg(track.id) : track.language;
    };
    // One checked entry per list; `none` adds an entry for no track.
    const auto addList = [&](const QString& heading, const QList<Player::Track>& tracks, bool none, auto choose) {
        subtitleMenu_->addSection(heading)->setProperty("track", true);
        auto* group = new QActionGroup(subtitleMenu_);
        const auto add = [&](const QString& text, qint64 id, bool selected) {
            QAction* action = subtitleMenu_->addAction(text, this, [this, choose, id] {
                if (player_)
                    choose(*player_, id);
            });
            action->setProperty("track", true);
            action->setCheckable(true);
            action->setChecked(selected);
            action->setActionGroup(group);
        };
        if (none)
            add(tr("None"), 0, std::none_of(tracks.begin(), tracks.end(), [](const auto& t) { return t.selected; }));
        for (const Player::Track& track : tracks)
            add(label(track), track.id, track.selected);
    };
    const QList<Player::Track> audio = player_->audioTracks();
    if (audio.size() > 1)
        addList(tr("Audio Track"), audio, false, [](Player& player, qint64 id) { player.setAudioTrack(id); });
    QList<Player::Track> own = player_->subtitleTracks();
    own.removeIf([](const Player::Track& track) { return track.external; });
    if (!own.isEmpty())
        addList(tr("Movie Subtitles"), own, true, [](Player& player, qint64 id) { player.setMovieSubtitleTrack(id); });
}
