#include <QImage>
#include <QLabel>
#include <QPushButton>
#include <QTest>
#include <cmath>
#include <memory>

#include "UiTestSupport.h"
#include "ui/widgets/SpectrumView.h"

using namespace kalindor;
using namespace kalindor::ui;
using namespace kalindor::ui::test;

namespace {

const QString kCaptureErrorText = QStringLiteral(
    "Невозможно открыть устройство ввода звука.\r\n"
    "Возможно оно занято или используется другим приложением.");

}  // namespace

class StartStopTest : public QObject {
    Q_OBJECT

  private:
    std::unique_ptr<WindowRig> rig_;
    Form1& window() { return rig_->window; }

    void expectStopped() {
        QVERIFY(!window().commands().Running);
        QVERIFY(!window().engine().timer1().enabled());
        QVERIFY(!window().engine().timer2().enabled());
        QVERIFY(!window().engine().timer3().enabled());
    }

  private slots:
    void init() {
        rig_ = std::make_unique<WindowRig>();
        window().commands().load({});
    }
    void cleanup() { rig_.reset(); }

    void captionSequenceWithAFailingInput() {
        rig_->input.openFailure = "no such source";
        window().Command1->click();
        QCOMPARE(rig_->dialogs.messages.size(), std::size_t{1});
        QCOMPARE(rig_->dialogs.messages[0].text, kCaptureErrorText);
        QCOMPARE(rig_->dialogs.messages[0].title, QStringLiteral("Ошибка в КАЛИНДОР"));
        QVERIFY(rig_->dialogs.messages[0].icon == UserDialogs::Icon::Critical);
        QCOMPARE(window().Command1->text(), QStringLiteral("Пуск"));
        expectStopped();

        rig_->input.openFailure.reset();
        window().Command1->click();
        QCOMPARE(window().Command1->text(), QStringLiteral("Стоп"));
        QVERIFY(window().commands().Running);
        QVERIFY(rig_->input.isOpen());
        QVERIFY(window().engine().timer1().enabled());
        QVERIFY(window().engine().timer2().enabled());
        QCOMPARE(window().engine().timer2().interval(), 1000);

        window().Command1->click();
        QCOMPARE(window().Command1->text(), QStringLiteral("Старт"));
        QVERIFY(!rig_->input.isOpen());
        expectStopped();

        rig_->input.openFailure = "no such source";
        window().Command1->click();
        QCOMPARE(window().Command1->text(), QStringLiteral("Старт"));
        QCOMPARE(rig_->dialogs.messages.size(), std::size_t{2});
        expectStopped();

        rig_->input.openFailure.reset();
        window().Command1->click();
        QCOMPARE(window().Command1->text(), QStringLiteral("Стоп"));
        QVERIFY(window().commands().Running);
        QCOMPARE(rig_->dialogs.messages.size(), std::size_t{2});
    }

    void noSignalPeriodIsTakenAtStart() {
        rig_->state.NoSignalSeconds = 10;
        window().Command1->click();
        QCOMPARE(window().engine().timer2().interval(), 10000);
    }

    // The source stops delivering while capture runs: the engine stops capture, the window
    // says so once and offers Start again.
    void inputLostMidRun() {
        window().Command1->click();
        QVERIFY(window().commands().Running);
        rig_->input.silentForMs = 5000;
        rig_->timers.advance(3000);
        QCOMPARE(rig_->dialogs.messages.size(), std::size_t{1});
        QCOMPARE(rig_->dialogs.messages[0].text, kCaptureErrorText);
        QCOMPARE(window().Command1->text(), QStringLiteral("Старт"));
        expectStopped();
        rig_->timers.advance(3000);
        QCOMPARE(rig_->dialogs.messages.size(), std::size_t{1});
    }

    // One buffer of a full-scale 1000 Hz cosine (spectrum point 16, channel 3's frequency).
    void oneToneBufferIsDrawn() {
        constexpr int kPoint = 16;
        constexpr int kChannel = 3;
        constexpr double kAmplitude = 127.0;
        QCOMPARE(int(rig_->state.ChannelFrequency[kChannel]), kPoint);
        std::uint8_t samples[kBufferSamples];
        for (int j = 0; j < kBufferSamples; ++j) {
            samples[j] = static_cast<std::uint8_t>(
                std::lround(128.0 + kAmplitude * std::cos(2.0 * M_PI * (kPoint / 2) * j / 256.0)));
        }
        const int presentedBefore = window().Picture1->picturesPresented();
        window().engine().pipeline().ProcessBuffer(samples);
        QCOMPARE(window().Picture1->picturesPresented(), presentedBefore + 1);

        // An on-bin cosine of amplitude A gives a real part of 128 * A; the log scale shows
        // ln(128 * A) * 25 at gain 1.0.
        const int expectedBar = int(std::lround(std::log(128.0 * kAmplitude) * 25.0));
        for (int ch = 0; ch < kChannelCount; ++ch) {
            const QColor lamp = window().Picture2[ch]->palette().color(QPalette::Window);
            if (ch == kChannel) {
                QCOMPARE(lamp, QColor(255, 255, 0));  // lit without AGC: yellow
                QCOMPARE(window().ProgressBar1[ch]->value(), expectedBar);
            } else {
                QCOMPARE(lamp, QColor(Qt::black));
                QCOMPARE(window().ProgressBar1[ch]->value(), 0);
            }
        }
        QCOMPARE(window().Label10->text(), QStringLiteral("USB подключен"));

        // The picture on screen: channel 3's green marker at x = ln(16) * 48 near the top, and
        // the cyan spectrum rising to 255 - bar at that point.
        const QImage& shown = window().Picture1->shownImage();
        const int markerX = int(std::log(double(kPoint)) * 48.0);
        QCOMPARE(shown.pixelColor(markerX, 2), QColor(0, 255, 0));
        bool cyanNearPeak = false;
        for (int dx = -1; dx <= 1 && !cyanNearPeak; ++dx) {
            for (int y = 255 - expectedBar - 2; y <= 255 - expectedBar + 2; ++y) {
                cyanNearPeak =
                    cyanNearPeak || shown.pixelColor(markerX + dx, y) == QColor(0, 255, 255);
            }
        }
        QVERIFY(cyanNearPeak);
    }

    // The graph is shown once per buffer and stays as it is between buffers.
    void pictureChangesOnlyWithABuffer() {
        std::uint8_t silence[kBufferSamples];
        std::fill(std::begin(silence), std::end(silence), std::uint8_t{128});
        window().engine().pipeline().ProcessBuffer(silence);
        const QImage first = window().Picture1->shownImage().copy();
        window().repaint();
        QCOMPARE(window().Picture1->shownImage(), first);
        window().engine().pipeline().ProcessBuffer(silence);
        QCOMPARE(window().Picture1->picturesPresented(), 2);
    }
};

QTEST_MAIN(StartStopTest)
#include "StartStop_test.moc"
