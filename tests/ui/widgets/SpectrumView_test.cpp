#include <QTest>
#include <limits>

#include "ui/widgets/SpectrumView.h"

using kalindor::Rgb;
using kalindor::ui::SpectrumView;

namespace {

constexpr Rgb kRed{255, 0, 0};
constexpr Rgb kCyanLine{0, 255, 255};

QRgb rgbOf(Rgb colour) {
    return qRgb(colour.red, colour.green, colour.blue);
}

int countPixels(const QImage& image, Rgb colour) {
    int count = 0;
    for (int y = 0; y < image.height(); ++y) {
        for (int x = 0; x < image.width(); ++x) {
            count += image.pixel(x, y) == rgbOf(colour) ? 1 : 0;
        }
    }
    return count;
}

}  // namespace

class SpectrumViewTest : public QObject {
    Q_OBJECT

  private slots:
    // Both ends are drawn and nothing beyond; fractional ends round to the nearest pixel; a
    // steep segment has one pixel per row (no gaps); a later line lies over an earlier one.
    void linesArePixelExact() {
        SpectrumView view;
        view.beginPicture();
        view.drawLine(10, 20, 30, 20, kRed);
        view.drawLine(100, 10, 103, 60, kRed);
        view.drawLine(10.6f, 0.4f, 10.6f, 3.4f, kCyanLine);
        view.drawLine(20, 0, 20, 255, kRed);
        view.drawLine(0, 100, 50, 100, kCyanLine);
        view.presentPicture();
        const QImage& shown = view.shownImage();
        for (int x = 10; x <= 30; ++x) {
            QCOMPARE(shown.pixel(x, 20), rgbOf(kRed));
        }
        QCOMPARE(shown.pixel(9, 20), qRgb(0, 0, 0));
        QCOMPARE(shown.pixel(31, 20), qRgb(0, 0, 0));
        for (int y = 10; y <= 60; ++y) {
            int inRow = 0;
            for (int x = 100; x <= 103; ++x) {
                inRow += shown.pixel(x, y) == rgbOf(kRed) ? 1 : 0;
            }
            QCOMPARE(inRow, 1);
        }
        for (int y = 0; y <= 3; ++y) {
            QCOMPARE(shown.pixel(11, y), rgbOf(kCyanLine));
        }
        QCOMPARE(shown.pixel(11, 4), qRgb(0, 0, 0));
        QCOMPARE(shown.pixel(20, 100), rgbOf(kCyanLine));
        QCOMPARE(shown.pixel(20, 99), rgbOf(kRed));
        // The vertical red line shares (20, 20) with the flat one and lost (20, 100) to cyan.
        QCOMPARE(countPixels(shown, kRed), 21 + 51 + 256 - 2);
    }

    // Held values below zero are drawn below the baseline, partly outside the area; coordinates
    // that are not numbers come from a broken level and are left out.
    void linesOutsideTheAreaAreCutAndBrokenOnesLeftOut() {
        SpectrumView view;
        view.beginPicture();
        view.drawLine(-100, 100, 400, 100, kRed);
        view.drawLine(5, 250, 5, 1e9f, kCyanLine);
        view.drawLine(0, 0, std::numeric_limits<float>::quiet_NaN(), 10, kCyanLine);
        view.drawLine(-1e30f, -5, 1e30f, -5, kCyanLine);
        view.presentPicture();
        const QImage& shown = view.shownImage();
        QCOMPARE(countPixels(shown, kRed), SpectrumView::kWidthPx);
        QCOMPARE(countPixels(shown, kCyanLine), SpectrumView::kHeightPx - 250);
    }

    // Each picture starts on a cleared area and is shown only when presented.
    void picturesAreShownWhenPresentedAndStartClear() {
        SpectrumView view;
        view.beginPicture();
        view.drawLine(0, 0, 10, 0, kRed);
        QCOMPARE(countPixels(view.shownImage(), kRed), 0);
        view.presentPicture();
        QCOMPARE(countPixels(view.shownImage(), kRed), 11);

        view.beginPicture();
        view.drawLine(0, 5, 3, 5, kCyanLine);
        QCOMPARE(countPixels(view.shownImage(), kRed), 11);
        view.presentPicture();
        QCOMPARE(countPixels(view.shownImage(), kRed), 0);
        QCOMPARE(countPixels(view.shownImage(), kCyanLine), 4);
        QCOMPARE(view.picturesPresented(), 2);
    }
};

QTEST_MAIN(SpectrumViewTest)
#include "SpectrumView_test.moc"
