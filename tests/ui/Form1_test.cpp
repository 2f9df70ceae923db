#include <QMenuBar>
#include <QSignalSpy>
#include <QTest>
#include <cmath>

#include "UiTestSupport.h"
#include "support/SampleBuffers.h"
#include "ui/widgets/LevelBar.h"
#include "ui/widgets/SpectrumView.h"

namespace kalindor::ui::test {
namespace {

const QString kCaptureError = QStringLiteral(
    "Невозможно открыть устройство ввода звука.\r\n"
    "Возможно оно занято или используется другим приложением.");

QColor lamp(const WindowRig& rig, int ch) {
    return rig.find<QWidget>(QStringLiteral("Picture2_%1").arg(ch))
        ->palette()
        .color(QPalette::Window);
}
int bar(const WindowRig& rig, int ch) {
    return rig.find<LevelBar>(QStringLiteral("ProgressBar1_%1").arg(ch))->value();
}

using Form1Test = WindowTest;

TEST_F(Form1Test, StartupShowsTheDefaultsAtTheirDesignPlaces) {
    EXPECT_TRUE(rig->window.isVisible());
    EXPECT_EQ(rig->window.windowTitle(), QStringLiteral("КАЛИНДОР    USB"));
    // Label3 starts with a Latin C.
    for (const QString shown :
         {"Command1=Пуск", "Label1=50ms", "Label3=Cкорость затухания", "Label10=USB подключен",
          "Label6_7=55%", "Label8_3=100%", "Label5_7=8", "mnuGrafik=График",
          "mnuGistogramm=Гистограмма", "Check1=Авторегулировка      уровня"}) {
        EXPECT_EQ(rig->text(shown.section('=', 0, 0)), shown.section('=', 1));
    }
    QStringList options;
    for (QAction* action : rig->find<QMenu>("mnuOptions")->actions()) {
        options << action->text();
    }
    EXPECT_EQ(options, QStringList({"Частоты", "Порты", "Эффекты", "Фильтр шума", "Скорость АРУ",
                                    "Сбросить установки"}));
    EXPECT_EQ(rig->window.menuBar()->actions().size(), 4);
    for (int ch = 0; ch < kChannelCount; ++ch) {
        SCOPED_TRACE(ch);
        EXPECT_EQ(rig->slider(QStringLiteral("Slider3_%1").arg(ch)), 5);
        EXPECT_EQ(rig->slider(QStringLiteral("Slider4_%1").arg(ch)), 31);
        EXPECT_EQ(bar(*rig, ch), 0);
        EXPECT_EQ(lamp(*rig, ch), QColor(Qt::black));
    }
    EXPECT_EQ(rig->slider("Slider1"), 50);
    EXPECT_EQ(rig->slider("Slider2"), 5);
    EXPECT_TRUE(rig->checked("mnuLog") && rig->checked("mnuLogY") && rig->checked("mnuPoligon"));
    EXPECT_FALSE(rig->find<QAbstractButton>("Check1")->isChecked());
    EXPECT_TRUE(rig->find<QWidget>("Command2")->isHidden());
    EXPECT_FALSE(rig->timer(1).enabled());
    EXPECT_TRUE(rig->input.calls.empty());

    EXPECT_EQ(rig->window.centralWidget()->size(), QSize(623, 376));
    const QSize size = rig->window.size();
    rig->window.resize(size + QSize(200, 150));
    EXPECT_EQ(rig->window.size(), size);
    EXPECT_FALSE(rig->window.windowFlags() & Qt::WindowMaximizeButtonHint);
    const std::pair<const char*, QRect> places[] = {
        {"Picture1", {8, 80, 273, 257}},   {"Command1", {240, 24, 41, 25}},
        {"Check1", {184, 344, 113, 25}},   {"ProgressBar1_3", {424, 72, 17, 105}},
        {"Slider3_0", {304, 216, 25, 65}}, {"Slider4_7", {584, 312, 25, 65}},
    };
    for (const auto& [name, place] : places) {
        EXPECT_EQ(rig->find<QWidget>(name)->geometry(), place) << name;
    }

    rig = std::make_unique<WindowRig>();
    rig->device.connected = false;
    rig->window.load("");
    EXPECT_EQ(rig->text("Label10"), QStringLiteral("USB НЕ подключен"));
}

// Each control moves its setting and its label; the vertical sliders have their minimum at
// the top, so the up arrow lowers the position.
TEST_F(Form1Test, ControlsMoveTheirSettingsAndLabels) {
    rig->click("Command1");
    const struct {
        const char* slider;
        QAbstractSlider::SliderAction action;
        const char* label;
        QString text;
    } moves[] = {
        {"Slider3_2", QAbstractSlider::SliderToMinimum, "Label6_2", "95%"},
        {"Slider3_2", QAbstractSlider::SliderToMaximum, "Label6_2", "5%"},
        {"Slider4_7", QAbstractSlider::SliderToMinimum, "Label8_7", "400%"},
        {"Slider4_7", QAbstractSlider::SliderToMaximum, "Label8_7", "10%"},
        {"Slider1", QAbstractSlider::SliderToMinimum, "Label1", "30ms"},
        {"Slider1", QAbstractSlider::SliderToMaximum, "Label1", "100ms"},
    };
    for (const auto& move : moves) {
        rig->find<QSlider>(move.slider)->triggerAction(move.action);
        EXPECT_EQ(rig->text(move.label), move.text) << move.slider;
    }
    EXPECT_FLOAT_EQ(rig->state.ChannelThreshold[2], 0.05f);
    EXPECT_FLOAT_EQ(rig->state.ChannelGain[7], 0.1f);
    EXPECT_EQ(rig->timer(1).interval(), 100);
    EXPECT_TRUE(rig->timer(1).enabled());
    rig->find<QSlider>("Slider2")->triggerAction(QAbstractSlider::SliderToMaximum);
    EXPECT_EQ(rig->state.DecaySpeed, 10);

    auto* threshold = rig->find<QSlider>("Slider3_0");
    threshold->setFocus();
    QTest::keyClick(threshold, Qt::Key_Up);
    EXPECT_EQ(rig->text("Label6_0"), QStringLiteral("65%"));
    QTest::keyClick(rig->find<QSlider>("Slider4_0"), Qt::Key_Up);
    EXPECT_EQ(rig->text("Label8_0"), QStringLiteral("110%"));

    rig->click("Check1");
    EXPECT_TRUE(rig->state.AgcEnabled);
    rig->click("Check1");
    EXPECT_FALSE(rig->state.AgcEnabled);
}

TEST_F(Form1Test, DisplayMenusKeepOneCheckPerPair) {
    const struct {
        const char* on;
        const char* off;
        bool SharedState::*value;
    } pairs[] = {{"mnuLog", "mnuLine", &SharedState::XScaleLog},
                 {"mnuLogY", "mnuLineY", &SharedState::YScaleLog},
                 {"mnuPoligon", "mnuGistogramm", &SharedState::GraphPolygon}};
    for (const auto& pair : pairs) {
        for (const char* chosen : {pair.off, pair.off, pair.on, pair.on}) {
            SCOPED_TRACE(chosen);
            rig->trigger(chosen);
            const bool on = chosen == pair.on;
            EXPECT_EQ(rig->state.*pair.value, on);
            EXPECT_EQ(rig->checked(pair.on), on);
            EXPECT_EQ(rig->checked(pair.off), !on);
        }
    }
}

TEST_F(Form1Test, PortsAndAboutShowOnlyTheirMessages) {
    const SharedState before = rig->state;
    rig->trigger("mnuPorts");
    rig->trigger("mnuAbout");
    const auto& shown = rig->dialogs.messages;
    ASSERT_EQ(shown.size(), 2u);
    EXPECT_EQ(shown[0].text, QStringLiteral("Property is not available in USB version"));
    EXPECT_EQ(shown[0].title, QStringLiteral("КАЛИНДОР"));
    EXPECT_EQ(shown[1].title, QStringLiteral("О программе КАЛИНДОР"));
    EXPECT_TRUE(shown[0].icon == UserDialogs::Icon::None &&
                shown[1].icon == UserDialogs::Icon::None);
    // Five lines joined by CR alone.
    const QStringList lines = shown[1].text.split(QChar(u'\r'));
    ASSERT_EQ(lines.size(), 5);
    EXPECT_EQ(lines[0], QStringLiteral("     КАЛИНДОР"));
    EXPECT_EQ(lines[1], QStringLiteral("      Версия: USB 0.1 Beta"));
    EXPECT_FALSE(shown[1].text.contains(QChar(u'\n')));
    EXPECT_EQ(rig->state, before);
}

// Closing the window ends the program at once; mnuClose first shuts the input.
TEST_F(Form1Test, WindowCloseAndCloseCommandQuit) {
    rig->click("Command1");
    QSignalSpy quit(&rig->window, &Form1::quitRequested);
    rig->window.close();
    EXPECT_EQ(quit.count(), 1);
    EXPECT_TRUE(rig->input.isOpen());
    rig->trigger("mnuClose");
    EXPECT_EQ(quit.count(), 2);
    EXPECT_FALSE(rig->input.isOpen());
    EXPECT_FALSE(rig->timer(1).enabled());
}

// The caption runs Пуск -> Стоп -> Старт -> Стоп; an input that cannot be opened leaves the
// caption as it was and says so. Timer2 takes the no-signal period at start.
TEST_F(Form1Test, StartStopCaptionsAndAFailingInput) {
    rig->state.NoSignalSeconds = 10;
    const struct {
        bool inputFails;
        QString caption;
    } clicks[] = {
        {true, "Пуск"}, {false, "Стоп"}, {false, "Старт"}, {true, "Старт"}, {false, "Стоп"}};
    std::size_t failures = 0;
    for (const auto& click : clicks) {
        SCOPED_TRACE(click.caption.toStdString());
        rig->input.openFailure.reset();
        if (click.inputFails) {
            rig->input.openFailure = "no such source";
        }
        rig->click("Command1");
        failures += click.inputFails ? 1 : 0;
        EXPECT_EQ(rig->text("Command1"), click.caption);
        EXPECT_EQ(rig->dialogs.messages.size(), failures);
        const bool running = click.caption == "Стоп";
        EXPECT_EQ(rig->input.isOpen(), running);
        EXPECT_EQ(rig->timer(1).enabled() && rig->timer(2).enabled(), running);
    }
    EXPECT_EQ(rig->timer(2).interval(), 10000);

    // The source stops delivering: capture stops, the window says so once and offers Старт.
    rig->input.silentForMs = 5000;
    rig->timers.clock.advance(6000);
    ASSERT_EQ(rig->dialogs.messages.size(), 3u);
    for (const auto& message : rig->dialogs.messages) {
        EXPECT_EQ(message.text, kCaptureError);
        EXPECT_EQ(message.title, QStringLiteral("Ошибка в КАЛИНДОР"));
        EXPECT_TRUE(message.icon == UserDialogs::Icon::Critical);
    }
    EXPECT_EQ(rig->text("Command1"), QStringLiteral("Старт"));
    EXPECT_FALSE(rig->timer(1).enabled() || rig->timer(2).enabled());
}

// One buffer of a full-scale 1000 Hz cosine (spectrum point 16, channel 3's frequency): an
// on-bin cosine of amplitude A gives a real part of 128 * A, shown as ln(128 * A) * 25.
TEST_F(Form1Test, OneToneBufferIsDrawnOnce) {
    auto* graph = rig->find<SpectrumView>("Picture1");
    rig->input.deliver(kalindor::test::cosineOnBin(8));
    rig->click("Command1");
    rig->timers.clock.advance(50);
    EXPECT_EQ(graph->picturesPresented(), 1);
    const int level = int(std::lround(std::log(128.0 * 127.0) * 25.0));
    for (int ch = 0; ch < kChannelCount; ++ch) {
        SCOPED_TRACE(ch);
        EXPECT_EQ(lamp(*rig, ch), ch == 3 ? QColor(255, 255, 0) : QColor(Qt::black));
        EXPECT_EQ(bar(*rig, ch), ch == 3 ? level : 0);
    }
    // Channel 3's green marker at x = ln(16) * 48, the cyan spectrum up to 255 - level there.
    const QImage& shown = graph->shownImage();
    const int x = int(std::log(16.0) * 48.0);
    EXPECT_EQ(shown.pixelColor(x, 2), QColor(0, 255, 0));
    bool cyanAtPeak = false;
    for (int dx = -1; dx <= 1; ++dx) {
        for (int y = 253 - level; y <= 257 - level; ++y) {
            cyanAtPeak = cyanAtPeak || shown.pixelColor(x + dx, y) == QColor(0, 255, 255);
        }
    }
    EXPECT_TRUE(cyanAtPeak);
    rig->window.repaint();
    EXPECT_EQ(graph->picturesPresented(), 1);
}

}  // namespace
}  // namespace kalindor::ui::test
