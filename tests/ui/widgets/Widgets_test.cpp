// SPDX-License-Identifier: GPL-3.0-or-later
#include <gtest/gtest.h>

#include <algorithm>
#include <limits>

#include "ui/widgets/LevelBar.h"
#include "ui/widgets/SpectrumView.h"

namespace kalindor::ui {
namespace {

constexpr Rgb kRed{255, 0, 0};
constexpr Rgb kCyan{0, 255, 255};

// The view's images are 32-bit RGB without row padding (273 pixels of 4 bytes).
long countPixels(const QImage& image, Rgb colour) {
    const auto* pixels = reinterpret_cast<const QRgb*>(image.constBits());
    return std::count(pixels, pixels + image.sizeInBytes() / 4,
                      qRgb(colour.red, colour.green, colour.blue));
}

// The fill rounds to the nearest row and is painted from the bottom inside a one-pixel frame.
TEST(LevelBar, TheFillRoundsToTheNearestRowAndIsPaintedFromTheBottom) {
    for (const auto& [value, rows] : {std::pair{0, 0}, {1, 0}, {2, 1}, {128, 52}, {255, 103}}) {
        EXPECT_EQ(LevelBar::filledRows(value, 103), rows) << value;
    }
    LevelBar bar;
    bar.resize(17, 105);  // 103 rows inside the frame
    bar.setValue(128);    // 51.7 rows: 52
    const QImage picture = bar.grab().toImage();
    const QPalette& palette = bar.palette();
    for (const auto& [y, role] : {std::pair{103, QPalette::Highlight},
                                  {52, QPalette::Highlight},
                                  {51, QPalette::Base},
                                  {1, QPalette::Base}}) {
        EXPECT_EQ(picture.pixel(8, y), palette.color(role).rgb()) << y;
    }
    EXPECT_EQ(picture.pixel(0, 50), palette.color(QPalette::Mid).rgb());
}

// Both ends are drawn; fractional ends round to the nearest pixel; a steep segment has one
// pixel per row; a later line lies over an earlier one; lines are cut at the area's edges and
// those with coordinates that are not numbers are left out. A hidden view draws nothing.
TEST(SpectrumView, LinesArePixelExactAndCutAtTheEdges) {
    SpectrumView view;
    view.show();
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
        const auto* row = reinterpret_cast<const QRgb*>(shown.constScanLine(y)) + 100;
        EXPECT_EQ(std::count(row, row + 4, red), 1) << y;
    }
    EXPECT_TRUE(shown.pixel(11, 0) == shown.pixel(11, 3) &&
                shown.pixel(11, 3) == qRgb(0, 255, 255));
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

    view.hide();
    view.beginPicture();
    view.drawLine(0, 0, 272, 0, kCyan);
    view.presentPicture();
    EXPECT_EQ(countPixels(view.shownImage(), kRed), SpectrumView::kWidthPx);
    EXPECT_EQ(view.picturesPresented(), 2);
}

}  // namespace
}  // namespace kalindor::ui
