#include "playback/TimelineMarks.h"
#include "playback/VideoSlider.h"
#include "playback/VideoSliderCell.h"

#include <gtest/gtest.h>
#include <QImage>
#include <QTest>
#include <algorithm>

namespace {

using Mark = VideoSliderCell::Mark;

TEST(MarkPlacement, AnnotatedItemsMarkTheirNearestTick) {
    struct Item {
        double stime;
        QString text;
    };
    const struct {
        const char* name;
        double duration;
        QList<Item> items;
        QList<Mark> marks;
    } cases[] = {
        {"a mark and a death (E), halves round up",
         200,
         {{50, QStringLiteral("Mark: here")}, {101, QStringLiteral("Death: boss (E)")}},
         {{25, VideoSliderCell::gray}, {51, VideoSliderCell::orange}}},
        {"death (F) first on a shared tick",
         100,
         {{10, QStringLiteral("Death: fall (F)")}, {10.2, QStringLiteral("Mark: x")}},
         {{10, VideoSliderCell::green}}},
        {"mark first on a shared tick",
         100,
         {{10.2, QStringLiteral("Mark: x")}, {10, QStringLiteral("Death: fall (F)")}},
         {{10, VideoSliderCell::gray}}},
        {"plain cues and other texts",
         100,
         {{5, QStringLiteral("hello")},
          {6, QStringLiteral("Death: no outcome")},
          {7, QStringLiteral("Mark:nospace")},
          {8, QStringLiteral("a Mark: x")}},
         {}},
        {"at the very end",
         200,
         {{200, QStringLiteral("Mark: end")},
          {199, QStringLiteral("Mark: 99.5 rounds to 100")},
          {198.9, QStringLiteral("Mark: last")}},
         {{99, VideoSliderCell::gray}}},
        {"before the start",
         200,
         {{-1, QStringLiteral("Mark: before")}, {-0.9, QStringLiteral("Mark: rounds to 0")}},
         {{0, VideoSliderCell::gray}}},
        {"a movie without length", 0, {{0, QStringLiteral("Mark: a")}, {10, QStringLiteral("Mark: b")}}, {}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        QList<SubtitleItem> items;
        for (const Item& item : c.items)
            items << SubtitleItem(item.stime, item.stime + 2, item.text, ItemColor::white, c.duration);
        VideoSliderCell cell;
        cell.setAt(42, VideoSliderCell::green);  // placing starts from a clean cell
        cell.setMarks(TimelineMarks(items));
        EXPECT_EQ(cell.list, c.marks);
        // The hover preview names the marks of exactly the ticks that show one, the drawn
        // colour first.
        for (int tick = 0; tick < VideoSlider::tickCount; ++tick) {
            const QList<TickMark> named = TimelineMarks(items).marksAt(tick);
            const auto drawn =
                std::find_if(c.marks.cbegin(), c.marks.cend(), [tick](const Mark& mark) { return mark.index == tick; });
            ASSERT_EQ(named.isEmpty(), drawn == c.marks.cend()) << tick;
            if (!named.isEmpty()) {
                EXPECT_EQ(named.first().color, drawn->value) << tick;
            }
        }
    }
    const QList<SubtitleItem> shared = {
        SubtitleItem(10, 12, QStringLiteral("Death: fall (F)"), ItemColor::white, 100),
        SubtitleItem(10.2, 12, QStringLiteral("plain"), ItemColor::white, 100),
        SubtitleItem(10.3, 12, QStringLiteral("Mark: two\r\nlines"), ItemColor::white, 100)};
    EXPECT_EQ(TimelineMarks(shared).marksAt(10),
              (QList<TickMark>{{QStringLiteral("Death: fall (F)"), VideoSliderCell::green},
                               {QStringLiteral("Mark: two\r\nlines"), VideoSliderCell::gray}}));
}

TEST(TimelineMarks, AddingAndRemovingOneItemGivesWhatTheWholeListGives) {
    QList<SubtitleItem> items{SubtitleItem(10, 12, QStringLiteral("Mark: a"), ItemColor::gray, 100),
                              SubtitleItem(10.3, 12, QStringLiteral("plain"), ItemColor::white, 100),
                              SubtitleItem(50, 52, QStringLiteral("Death: b (E)"), ItemColor::orange, 100)};
    TimelineMarks marks(items);
    // On a shared tick, before the item that starts later, and on a tick of its own.
    const SubtitleItem earlier(9.8, 11, QStringLiteral("Death: c (F)"), ItemColor::green, 100);
    const SubtitleItem alone(70, 72, QStringLiteral("Mark: d"), ItemColor::gray, 100);
    for (const SubtitleItem& added : {earlier, alone}) {
        marks.add(added);
        items.insert(std::upper_bound(items.begin(), items.end(), added.stime,
                                      [](double start, const SubtitleItem& item) { return start < item.stime; }),
                     added);
        EXPECT_EQ(marks, TimelineMarks(items));
    }
    EXPECT_EQ(marks.colorAt(10), VideoSliderCell::green);
    marks.remove(earlier);
    items.removeOne(earlier);
    EXPECT_EQ(marks, TimelineMarks(items));
    EXPECT_EQ(marks.colorAt(10), VideoSliderCell::gray);
    marks.remove(earlier);  // gone already: nothing changes
    EXPECT_EQ(marks, TimelineMarks(items));
}

TEST(VideoSliderCell, FirstColourPerTickWinsUntilReset) {
    VideoSliderCell cell;
    cell.setAt(5, 0);
    cell.setAt(5, VideoSliderCell::orange);  // replaces the empty colour
    cell.setAt(5, VideoSliderCell::gray);    // ignored for drawing
    cell.setAt(7, 9);                        // kept, draws nothing
    cell.setAt(100, VideoSliderCell::green);
    cell.setAt(-1, VideoSliderCell::green);
    EXPECT_EQ(cell.list, (QList<Mark>{{5, VideoSliderCell::orange}, {7, 9}}));
    EXPECT_EQ(cell.arr[5], VideoSliderCell::gray);
    EXPECT_EQ(cell.arr.size(), 100);

    cell.reset();
    EXPECT_TRUE(cell.list.isEmpty());
    EXPECT_EQ(cell.arr, QList<int>(100, 0));
}

class VideoSliderTest : public ::testing::Test {
protected:
    void SetUp() override {
        slider.resize(300, 24);
        slider.onValueChanged = [this](double value) { reports << value; };
        slider.show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(&slider));
    }

    QPoint at(int tick) const { return slider.tickCenter(tick).toPoint(); }

    VideoSliderCell cell;
    VideoSlider slider{cell};
    QList<double> reports;
};

TEST_F(VideoSliderTest, ReportsEachUserChangeOnceAndNeverTheProgramsOwn) {
    slider.setDoubleValue(40.4);
    slider.setDoubleValue(99.7);
    EXPECT_EQ(slider.value(), 99);
    slider.setDoubleValue(std::nan(""));
    EXPECT_EQ(slider.value(), 0);
    slider.setDoubleValue(40);
    EXPECT_TRUE(reports.isEmpty());

    // A drag reports once, on release; a position report meanwhile does not move the knob.
    QTest::mousePress(&slider, Qt::LeftButton, {}, at(40));
    QTest::mouseMove(&slider, at(55));
    QTest::mouseMove(&slider, at(70));
    slider.setDoubleValue(12);
    EXPECT_NEAR(slider.sliderPosition(), 70, 1);
    EXPECT_TRUE(reports.isEmpty());
    QTest::mouseRelease(&slider, Qt::LeftButton, {}, at(70));
    ASSERT_EQ(reports.size(), 1);
    EXPECT_NEAR(reports[0], 70, 1);

    // A click on the bar goes to that tick at once.
    QTest::mouseClick(&slider, Qt::LeftButton, {}, at(20));
    ASSERT_EQ(reports.size(), 2);
    EXPECT_NEAR(reports[1], 20, 1);

    QTest::keyClick(&slider, Qt::Key_Right);
    ASSERT_EQ(reports.size(), 3);
    EXPECT_EQ(reports[2], reports[1] + 1);
}

TEST_F(VideoSliderTest, DrawsEachMarkInItsColourAtItsTick) {
    cell.setAt(10, VideoSliderCell::green);
    cell.setAt(80, VideoSliderCell::orange);
    slider.setDoubleValue(50);
    const QImage image = slider.grab().toImage();
    const auto colourAt = [&](int tick) {
        const QRectF mark = cell.rectOfTickMark(tick);
        EXPECT_EQ(mark.size(), QSizeF(2, 4));
        return image.pixelColor((mark.center() * slider.devicePixelRatioF()).toPoint());
    };
    const auto near = [](const QColor& a, const QColor& b) {
        return std::abs(a.red() - b.red()) <= 2 && std::abs(a.green() - b.green()) <= 2 &&
               std::abs(a.blue() - b.blue()) <= 2;
    };
    EXPECT_TRUE(near(colourAt(10), QColor(0, 255, 0))) << colourAt(10).name().toStdString();
    EXPECT_TRUE(near(colourAt(80), QColor(255, 128, 0))) << colourAt(80).name().toStdString();

    // After a reset the bar shows no mark.
    cell.reset();
    const QImage cleared = slider.grab().toImage();
    const QPoint where = (cell.rectOfTickMark(10).center() * slider.devicePixelRatioF()).toPoint();
    EXPECT_NE(cleared.pixelColor(where), QColor::fromRgbF(0, 1, 0));
}

}  // namespace
