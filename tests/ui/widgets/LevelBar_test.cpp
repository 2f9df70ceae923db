#include <QApplication>
#include <QPaintEvent>
#include <QTest>
#include <vector>

#include "ui/widgets/LevelBar.h"

using kalindor::ui::LevelBar;

namespace {

// Records the rectangle of every paint event the bar receives.
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

}  // namespace

class LevelBarTest : public QObject {
    Q_OBJECT

  private slots:
    void filledRowsRoundToTheNearestRowAndValuesAreClamped() {
        QCOMPARE(LevelBar::filledRows(0, 103), 0);
        QCOMPARE(LevelBar::filledRows(255, 103), 103);
        QCOMPARE(LevelBar::filledRows(1, 103), 0);     // 0.40 rows
        QCOMPARE(LevelBar::filledRows(2, 103), 1);     // 0.81
        QCOMPARE(LevelBar::filledRows(128, 103), 52);  // 51.70
        QCOMPARE(LevelBar::filledRows(255, 0), 0);
        QCOMPARE(LevelBar::filledRows(999, 103), 103);
        LevelBar bar;
        bar.setValue(300);
        QCOMPARE(bar.value(), 255);
        bar.setValue(-5);
        QCOMPARE(bar.value(), 0);
    }

    // The bar is repainted only where its fill moved, and not at all when the filled height
    // stays the same.
    void repaintsOnlyTheRowsThatChange() {
        QWidget window;
        auto* bar = new LevelBar(&window);
        bar->setGeometry(0, 0, 17, 105);  // 103 rows inside the frame
        window.show();
        QVERIFY(QTest::qWaitForWindowExposed(&window));
        PaintRecorder recorder;
        bar->installEventFilter(&recorder);

        bar->setValue(1);  // still no filled row
        QApplication::processEvents();
        QVERIFY(recorder.painted.empty());
        QCOMPARE(bar->value(), 1);

        bar->setValue(128);  // rows 0..51 from the bottom
        QApplication::processEvents();
        QCOMPARE(recorder.painted.size(), std::size_t{1});
        QCOMPARE(recorder.painted.back(), QRect(1, 104 - 52, 15, 52));

        bar->setValue(128);
        bar->setValue(129);  // 52.10 rows: the same height
        QApplication::processEvents();
        QCOMPARE(recorder.painted.size(), std::size_t{1});

        bar->setValue(64);  // 25.85 -> 26 rows: the 26 rows above them are cleared
        QApplication::processEvents();
        QCOMPARE(recorder.painted.size(), std::size_t{2});
        QCOMPARE(recorder.painted.back(), QRect(1, 104 - 52, 15, 26));
    }

    void paintsTheFillFromTheBottom() {
        LevelBar bar;
        bar.resize(17, 105);
        bar.setValue(128);
        const QImage picture = bar.grab().toImage();
        const QRgb fill = bar.palette().color(QPalette::Highlight).rgb();
        const QRgb empty = bar.palette().color(QPalette::Base).rgb();
        QCOMPARE(picture.pixel(8, 103), fill);  // lowest inner row
        QCOMPARE(picture.pixel(8, 104 - 52), fill);
        QCOMPARE(picture.pixel(8, 104 - 53), empty);
        QCOMPARE(picture.pixel(8, 1), empty);
        QCOMPARE(picture.pixel(0, 50), bar.palette().color(QPalette::Mid).rgb());
    }
};

QTEST_MAIN(LevelBarTest)
#include "LevelBar_test.moc"
