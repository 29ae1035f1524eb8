#include "playback/TimelinePreview.h"

#include "core/TimeFormat.h"
#include "playback/PlatformQuirks.h"
#include "playback/ThumbnailProvider.h"
#include "playback/VideoSlider.h"

#include <QEnterEvent>
#include <QLabel>
#include <QMouseEvent>
#include <QPixmap>
#include <QScreen>
#include <QVBoxLayout>
#include <algorithm>
#include <cmath>

namespace {

constexpr int gap = 4;       // between the timeline and the preview
constexpr int margin = 3;    // around the picture
constexpr int maxMarks = 3;  // mark lines shown for one tick

QColor previewBackground() { return QColor(24, 24, 24); }

}  // namespace

TimelinePreview::TimelinePreview(VideoSlider& slider)
    : QFrame(&slider,
             Qt::ToolTip | Qt::FramelessWindowHint | Qt::WindowDoesNotAcceptFocus | Qt::WindowTransparentForInput),
      slider_(slider),
      provider_(new ThumbnailProvider(this)) {
    setObjectName(QStringLiteral("timelinePreview"));
    // Never the active window, never under the pointer's events: the timeline keeps them.
    setAttribute(Qt::WA_ShowWithoutActivating);
    setAttribute(Qt::WA_TransparentForMouseEvents);
    setFocusPolicy(Qt::NoFocus);
    setFrameShape(QFrame::Box);
    setLineWidth(1);
    QPalette colors = palette();
    colors.setColor(QPalette::Window, previewBackground());
    colors.setColor(QPalette::WindowText, QColor(Qt::white));
    setPalette(colors);
    setAutoFillBackground(true);

    picture_ = new QLabel(this);
    picture_->setObjectName(QStringLiteral("previewPicture"));
    picture_->setAlignment(Qt::AlignCenter);
    picture_->hide();  // until the movie's first picture tells its shape
    time_ = new QLabel(this);
    time_->setObjectName(QStringLiteral("previewTime"));
    time_->setAlignment(Qt::AlignCenter);
    QFont bold = time_->font();
    bold.setBold(true);
    time_->setFont(bold);
    marks_ = new QLabel(this);
    marks_->setObjectName(QStringLiteral("previewMarks"));
    marks_->setAlignment(Qt::AlignCenter);
    marks_->setTextFormat(Qt::RichText);
    marks_->hide();

    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(margin, margin, margin, margin);
    layout->setSpacing(2);
    layout->setSizeConstraint(QLayout::SetFixedSize);
    layout->addWidget(picture_, 0, Qt::AlignHCenter);
    layout->addWidget(time_);
    layout->addWidget(marks_);
    time_->setMinimumWidth(ThumbnailProvider::width);

    connect(provider_, &ThumbnailProvider::thumbnailReady, this, &TimelinePreview::showPicture);
    // While the knob is held it goes where the pointer goes, after the move reached the
    // slider (an event filter sees it before): its tick is the one a release seeks to.
    connect(&slider_, &QSlider::sliderMoved, this, [this](int tick) {
        if (previewable())
            present(tick, {tick});
    });
    // Moves without a button reach the slider only with tracking on; QSlider ignores them.
    slider_.setMouseTracking(true);
    slider_.installEventFilter(this);
}

TimelinePreview::~TimelinePreview() { slider_.removeEventFilter(this); }

double TimelinePreview::secondsOfTick(int tick, double duration) { return duration * tick * 0.01; }

void TimelinePreview::setMovie(const QString& path, double duration) {
    dismiss();
    duration_ = std::isfinite(duration) && duration > 0 ? duration : 0;
    provider_->setMovie(path);
    // Another movie may have another shape: the picture's room is set by its first picture.
    picture_->clear();
    picture_->hide();
}

void TimelinePreview::setActive(bool active) {
    active_ = active;
    if (!active)
        dismiss();
}

QString TimelinePreview::timeText() const { return time_->text(); }

bool TimelinePreview::eventFilter(QObject* watched, QEvent* event) {
    if (watched != &slider_)
        return false;
    switch (event->type()) {
    case QEvent::Enter:
        hover(static_cast<QEnterEvent*>(event)->position());
        break;
    case QEvent::MouseMove:
        hover(static_cast<QMouseEvent*>(event)->position());
        break;
    case QEvent::Leave:
    case QEvent::Hide:
    case QEvent::EnabledChange:
        dismiss();
        break;
    default:
        break;
    }
    return false;  // the slider handles every event as if nothing watched it
}

bool TimelinePreview::previewable() const {
    return active_ && duration_ > 0 && slider_.isEnabled() && slider_.isVisible();
}

void TimelinePreview::hover(const QPointF& position) {
    if (!previewable()) {
        dismiss();
        return;
    }
    if (slider_.isSliderDown())
        return;  // sliderMoved tells
    const int tick = tickAt(position.x());
    const QList<int> marked = markedTicks(tick, position.x());
    if (tick != tick_ || marked != markedTicks_ || !isVisible())
        present(tick, marked);
}

QList<int> TimelinePreview::markedTicks(int tick, double x) const {
    // A mark is drawn from its tick's centre to the right, over the part of the timeline
    // nearer the next tick: there the pointer is over the mark of the tick before.
    const VideoSliderCell& cell = slider_.cell();
    const int before = tick - 1;
    if (before >= 0 && before < cell.arr.size() && cell.arr[before] != 0 &&
        x < cell.rectOfTickMark(before).right() + 0.5)
        return {before, tick};
    return {tick};
}

void TimelinePreview::present(int tick, const QList<int>& marked) {
    if (tick != tick_ || !isVisible())
        showTick(tick);
    if (marked != markedTicks_)
        showMarks(marked);
    place();
    if (!isVisible())
        show();
}

int TimelinePreview::tickAt(double x) const {
    const int last = VideoSlider::tickCount - 1;
    const double first = slider_.tickCenter(0).x();
    const double end = slider_.tickCenter(last).x();
    if (!(end > first))
        return 0;
    int tick = std::clamp(int(std::lround((x - first) / (end - first) * last)), 0, last);
    // The style puts the ticks on whole pixels: settle on the nearest centre.
    const auto distance = [&](int t) { return std::abs(slider_.tickCenter(t).x() - x); };
    for (const int neighbour : {tick - 1, tick + 1})
        if (neighbour >= 0 && neighbour <= last && distance(neighbour) < distance(tick))
            tick = neighbour;
    return tick;
}

void TimelinePreview::showTick(int tick) {
    tick_ = tick;
    const double seconds = secondsOfTick(tick, duration_);
    time_->setText(formatTime(std::round(seconds), duration_));
    if (requested_.size() >= 256)  // decodes that failed are never answered
        requested_.removeFirst();
    requested_.append(seconds);
    provider_->request(seconds);
}

void TimelinePreview::showMarks(const QList<int>& ticks) {
    markedTicks_ = ticks;
    QList<TickMark> marks;
    for (const int tick : ticks)
        marks << timelineMarks_.marksAt(tick);
    QStringList plain, lines;
    const QFontMetrics metrics(marks_->font());
    for (const TickMark& mark : std::as_const(marks)) {
        if (plain.size() == maxMarks)
            break;
        QString text = mark.text;
        text.replace(QStringLiteral("\r\n"), QStringLiteral(" "));  // a cue's lines side by side
        plain << text;
        const QColor color = mark.color >= 0 && mark.color < int(slider_.cell().colors.size())
                                 ? slider_.cell().colors[mark.color]
                                 : QColor(Qt::white);
        lines << QStringLiteral("<span style=\"color:%1\">%2</span>")
                     .arg(color.name(),
                          metrics.elidedText(text, Qt::ElideRight, ThumbnailProvider::width).toHtmlEscaped());
    }
    markText_ = plain.join(QLatin1Char('\n'));
    marks_->setText(lines.join(QStringLiteral("<br>")));
    marks_->setVisible(!lines.isEmpty());
}

void TimelinePreview::showPicture(double seconds, const QImage& image) {
    // Answers come in the order asked; one of a request made before the preview last hid
    // belongs to a place the pointer left.
    const qsizetype asked = requested_.indexOf(seconds);
    if (asked < 0 || !isVisible())
        return;
    requested_.remove(0, asked + 1);
    pictureSeconds_ = seconds;
    picture_->setPixmap(QPixmap::fromImage(image));
    picture_->setFixedSize(image.size());
    picture_->show();
    place();
    Q_EMIT pictureShown(seconds);
}

void TimelinePreview::dismiss() {
    tick_.reset();
    markedTicks_.clear();
    pictureSeconds_.reset();
    requested_.clear();
    // The picture's room stays, empty, so the next hover does not show a place it left.
    if (!picture_->isHidden()) {
        QPixmap blank(picture_->size());
        blank.fill(previewBackground());
        picture_->setPixmap(blank);
    }
    hide();
}

void TimelinePreview::place() {
    if (!tick_)
        return;
    adjustSize();
    const int x = int(std::lround(slider_.tickCenter(*tick_).x()));
    const QPoint above = slider_.mapToGlobal(QPoint(x, 0));
    const QPoint below = slider_.mapToGlobal(QPoint(x, slider_.height()));
    QPoint at(above.x() - width() / 2, above.y() - gap - height());
    if (const QScreen* screen = slider_.screen()) {
        const QRect area = screen->availableGeometry();
        at.setX(std::clamp(at.x(), area.left(), std::max(area.left(), area.right() + 1 - width())));
        if (at.y() < area.top())
            at.setY(below.y() + gap);
    }
    if (at == pos())
        return;
    // Where a shown pop-up cannot move (nor grow other than down, over the pointer), it hides
    // and shows again at its new place with its new size, both set before it shows.
    const bool reshow = isVisible() && PlatformQuirks::current().reshowToMovePopup;
    if (reshow)
        QWidget::hide();
    move(at);
    if (reshow)
        show();
}
