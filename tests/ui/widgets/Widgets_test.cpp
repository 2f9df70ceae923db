#include <gtest/gtest.h>

#include <QApplication>
#include <QPaintEvent>
#include <QTest>
#include <limits>
#include <vector>

#include "ui/widgets/LevelBar.h"
#include "ui/widgets/SpectrumView.h"

namespace kalindor::ui {
namespace {

constexpr Rgb kRed{255, 0, 0};
constexpr Rgb kCyan{0, 255, 255};

int countPixels(const QImage& image, Rgb colour) {
    int count = 0;
    for (int y = 0; y < image.height(); ++y) {
        for (int x = 0; x < image.width(); ++x) {
            count += image.pixel(x, y) == qRgb(colour.red, colour.green, colour.blue) ? 1 : 0;
        }
    }
    return count;
}

// Records the rectangle of every paint event a widget receives.
class PaintRecorder final : public QObject {
  public:
    std::vector<QRect> painted;

  protected:
    bool eventFilter(QObject*, QEvent* event) override {
        if (event->type() == QEvent::Paint) {
            painted.push_back(static_cast<QPaintEvent*>(event)->rect());
        }
        return false;
    }
};

TEST(LevelBar, FilledRowsRoundToTheNearestRowAndValuesAreClamped) {
    const int cases[][3] = {{0, 103, 0},    {255, 103, 103}, {1, 103, 0},    {2, 103, 1},
                            {128, 103, 52}, {255, 0, 0},     {999, 103, 103}};
    for (const auto& [value, innerHeight, rows] : cases) {
        EXPECT_EQ(LevelBar::filledRows(value, innerHeight), rows) << value;
    }
    LevelBar bar;
    bar.setValue(300);
    EXPECT_EQ(bar.value(), 255);
    bar.setValue(-5);
    EXPECT_EQ(bar.value(), 0);
}

// The fill is painted from the bottom inside a one-pixel frame; a new value repaints only the
// rows between the old and the new height, and nothing when the height stays.
TEST(LevelBar, PaintsFromTheBottomAndRepaintsOnlyTheRowsThatChange) {
    QWidget window;
    auto* bar = new LevelBar(&window);
    bar->setGeometry(0, 0, 17, 105);  // 103 rows inside the frame
    window.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&window));
    PaintRecorder recorder;
    bar->installEventFilter(&recorder);
    const struct {
        int value;
        std::vector<QRect> painted;
    } steps[] = {
        {1, {}},                                             // still no filled row
        {128, {QRect(1, 104 - 52, 15, 52)}},                 // rows 0..51 from the bottom
        {129, {QRect(1, 104 - 52, 15, 52)}},                 // 52.10 rows: the same height
        {64, {QRect(1, 52, 15, 52), QRect(1, 52, 15, 26)}},  // 26 rows: the 26 above cleared
    };
    for (const auto& step : steps) {
        bar->setValue(step.value);
        QApplication::processEvents();
        EXPECT_EQ(recorder.painted, step.painted) << step.value;
    }
    bar->setValue(128);
    const QImage picture = bar->grab().toImage();
    const QPalette& palette = bar->palette();
    EXPECT_EQ(picture.pixel(8, 103), palette.color(QPalette::Highlight).rgb());
    EXPECT_EQ(picture.pixel(8, 104 - 52), palette.color(QPalette::Highlight).rgb());
    EXPECT_EQ(picture.pixel(8, 104 - 53), palette.color(QPalette::Base).rgb());
    EXPECT_EQ(picture.pixel(0, 50), palette.color(QPalette::Mid).rgb());
}

// Both ends are drawn; fractional ends round to the nearest pixel; a steep segment has one
// pixel per row; a later line lies over an earlier one; lines are cut at the area's edges and
// those with coordinates that are not numbers are left out.
TEST(SpectrumView, LinesArePixelExactAndCutAtTheEdges) {
    SpectrumView view;
    view.beginPicture();
    view.drawLine(10, 20, 30, 20, kRed);
    view.drawLine(100, 10, 103, 60, kRed);
    view.drawLine(10.6f, 0.4f, 10.6f, 3.4f, kCyan);
    view.drawLine(20, 0, 20, 255, kRed);
    view.drawLine(0, 100, 50, 100, kCyan);
    view.presentPicture();
    const QImage& shown = view.shownImage();
    const QRgb red = qRgb(255, 0, 0);
    EXPECT_TRUE(shown.pixel(10, 20) == red && shown.pixel(30, 20) == red);
    EXPECT_TRUE(shown.pixel(9, 20) != red && shown.pixel(31, 20) != red);
    for (int y = 10; y <= 60; ++y) {
        int inRow = 0;
        for (int x = 100; x <= 103; ++x) {
            inRow += shown.pixel(x, y) == red ? 1 : 0;
        }
        EXPECT_EQ(inRow, 1) << y;
    }
    EXPECT_EQ(shown.pixel(11, 0), qRgb(0, 255, 255));
    EXPECT_EQ(shown.pixel(11, 3), qRgb(0, 255, 255));
    EXPECT_EQ(shown.pixel(11, 4), qRgb(0, 0, 0));
    EXPECT_EQ(shown.pixel(20, 100), qRgb(0, 255, 255));
    // The vertical red line shares (20, 20) with the flat one and lost (20, 100) to cyan.
    EXPECT_EQ(countPixels(shown, kRed), 21 + 51 + 256 - 2);

    view.beginPicture();
    view.drawLine(-100, 100, 400, 100, kRed);
    view.drawLine(5, 250, 5, 1e9f, kCyan);
    view.drawLine(0, 0, std::numeric_limits<float>::quiet_NaN(), 10, kCyan);
    view.drawLine(-1e30f, -5, 1e30f, -5, kCyan);
    EXPECT_EQ(countPixels(view.shownImage(), kRed), 21 + 51 + 256 - 2) << "shown when presented";
    view.presentPicture();
    EXPECT_EQ(countPixels(view.shownImage(), kRed), SpectrumView::kWidthPx);
    EXPECT_EQ(countPixels(view.shownImage(), kCyan), SpectrumView::kHeightPx - 250);
    EXPECT_EQ(view.picturesPresented(), 2);
}

}  // namespace
}  // namespace kalindor::ui
