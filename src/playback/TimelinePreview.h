#pragma once

#include "playback/TimelineMarks.h"
#include "playback/VideoSliderCell.h"

#include <QFrame>
#include <QImage>
#include <QList>
#include <QString>
#include <optional>

class QLabel;
class ThumbnailProvider;
class VideoSlider;

// The timeline's hover preview: while the pointer is over the timeline (or drags its knob), a
// small window above it shows the time a click there goes to, the texts of the marks on that
// tick (or drawn under the pointer), and a picture of the movie at that time once the thumbnail provider has decoded it
// (the time shows at once). It is a tooltip window: it never takes the focus or the pointer,
// leaves the slider's own mouse handling alone, stays on the screen at the ends of the
// timeline and goes below the timeline where there is no room above it. It hides when the
// pointer leaves the timeline and when the movie changes.
class TimelinePreview : public QFrame {
    Q_OBJECT
public:
    // Follows the pointer over `slider`, which owns the preview.
    explicit TimelinePreview(VideoSlider& slider);
    ~TimelinePreview() override;

    // The movie file whose pictures are shown (empty: none) and its length in seconds; the
    // thumbnails start afresh. Without a length nothing is previewed.
    void setMovie(const QString& path, double duration);
    // The marks whose texts are shown over their ticks.
    void setMarks(const TimelineMarks& marks) { timelineMarks_ = marks; }
    // Off, hovering shows nothing and asks for no pictures.
    void setActive(bool active);
    bool isActive() const { return active_; }

    ThumbnailProvider& provider() const { return *provider_; }
    // The tick under the pointer while the preview shows.
    std::optional<int> tick() const { return tick_; }
    // What the preview shows: the time, the marks' texts (one per line) and, once it came, the
    // time of the request whose picture is shown.
    QString timeText() const;
    QString markText() const { return markText_; }
    std::optional<double> pictureSeconds() const { return pictureSeconds_; }

    // The tick whose centre is nearest to `x` on the slider: where a click there puts the knob.
    int tickAt(double x) const;
    // The seconds a click on tick `tick` seeks to in a movie of `duration` seconds.
    static double secondsOfTick(int tick, double duration);

Q_SIGNALS:
    // A picture went up, of the request for `seconds`.
    void pictureShown(double seconds);

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    bool previewable() const;
    void hover(const QPointF& position);
    QList<int> markedTicks(int tick, double x) const;
    void present(int tick, const QList<int>& marked);
    void showTick(int tick);
    void showMarks(const QList<int>& ticks);
    void showPicture(double seconds, const QImage& image);
    void dismiss();
    void place();

    VideoSlider& slider_;
    ThumbnailProvider* provider_ = nullptr;
    QLabel* picture_ = nullptr;
    QLabel* time_ = nullptr;
    QLabel* marks_ = nullptr;
    TimelineMarks timelineMarks_;
    double duration_ = 0;
    bool active_ = true;
    std::optional<int> tick_;
    QList<int> markedTicks_;  // whose marks the preview names
    QString markText_;
    std::optional<double> pictureSeconds_;
    QList<double> requested_;  // the times asked for since the preview last showed, oldest first
};
