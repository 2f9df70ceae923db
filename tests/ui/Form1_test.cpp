// SPDX-License-Identifier: GPL-3.0-or-later
#include <sys/stat.h>
#include <QFileInfo>
#include <QSignalSpy>
#include <QTest>
#include <cmath>

#include "UiTestSupport.h"
#include "core/ControlUpdates.h"
#include "launch/CommandLine.h"
#include "presets/PresetFile.h"
#include "support/SampleBuffers.h"
#include "ui/widgets/LevelBar.h"
#include "ui/widgets/SpectrumView.h"

namespace kalindor::ui::test {
namespace {

using Form1Test = WindowTest;

// The defaults, byte-exact texts (Label3 starts with a Latin C) and the design sizes. (The
// caption is checked with the preset commands below.)
TEST_F(Form1Test, StartupShowsTheDefaultsAtTheirDesignPlaces) {
    QStringList shown({"Command1=Пуск", "Label1=50ms", "Slider1=50", "Slider2=5",
                       "Label3=Cкорость затухания", "Label10=USB подключен", "Check1=false",
                       "Label5_7=8", "mnuLog=true", "mnuLine=false", "mnuLogY=true",
                       "mnuLineY=false", "mnuPoligon=true", "mnuGistogramm=false",
                       "mnuGrafik=График", "mnuGrafType=Тип Графика", "mnuAbout=О программе",
                       "mnuReset=Сбросить установки", "mnuARUSpeed=Скорость АРУ"});
    for (int ch = 0; ch < kChannelCount; ++ch) {
        shown << QStringList{"Slider3_%1=5", "Label6_%1=55%", "Slider4_%1=31", "Label8_%1=100%"}
                     .replaceInStrings("%1", QString::number(ch));
    }
    rig->expectShown(shown);
    EXPECT_EQ(rig->find<QAbstractButton>("Check1")->text(), "Авторегулировка      уровня");
    EXPECT_FALSE(rig->timer(1).enabled());
    EXPECT_FALSE(rig->input.isOpen());

    EXPECT_EQ(rig->window.centralWidget()->size(), QSize(623, 376));
    const QSize size = rig->window.size();
    rig->window.resize(size + QSize(200, 150));
    EXPECT_EQ(rig->window.size(), size);
    const std::pair<const char*, QRect> places[] = {
        {"Picture1", {8, 80, 273, 257}},
        {"Command1", {240, 24, 41, 25}},
        {"ProgressBar1_3", {424, 72, 17, 105}},
        {"Slider4_7", {584, 312, 25, 65}},
    };
    for (const auto& [name, place] : places) {
        EXPECT_EQ(rig->find<QWidget>(name)->geometry(), place) << name;
    }

    rig = std::make_unique<WindowRig>();
    rig->device.connected = false;
    rig->window.commands().load({});
    rig->expectShown({"Label10=USB НЕ подключен"});
    // With other outputs the line is theirs, for the last board state, and shows their changes.
    std::string others = "OLA 1: нет";
    rig->window.setStatusText([&others](bool board) { return (board ? "+" : "-") + others; });
    rig->expectShown({"Label10=-OLA 1: нет"});
    others = "OLA 1: да";
    rig->window.refreshDeviceStatus();
    rig->expectShown({"Label10=-OLA 1: да"});
}

// Each control moves its setting and its label; the vertical sliders have their minimum at the top,
// so the up arrow lowers the position.
TEST_F(Form1Test, ControlsMoveTheirSettingsAndLabels) {
    rig->click("Command1");
    rig->set(
        {"Slider3_2=1", "Slider4_7=1", "Slider3_1=10", "Slider4_6=40", "Slider1=30", "Slider2=10"});
    rig->expectShown(
        {"Label6_2=95%", "Label8_7=400%", "Label6_1=5%", "Label8_6=10%", "Label1=30ms"});
    EXPECT_FLOAT_EQ(rig->state.ChannelThreshold[1], 0.05f);
    EXPECT_FLOAT_EQ(rig->state.ChannelGain[6], 0.1f);
    EXPECT_EQ(rig->state.DecaySpeed, 10);
    EXPECT_EQ(rig->timer(1).interval(), 30);
    EXPECT_TRUE(rig->timer(1).enabled());
    rig->set({"Slider1=100"});
    QTest::keyClick(rig->find<QSlider>("Slider1"), Qt::Key_Left);  // a step of 10 ms
    QTest::keyClick(rig->find<QSlider>("Slider2"), Qt::Key_Left);
    rig->expectShown({"Label1=90ms"});
    EXPECT_EQ(rig->timer(1).interval(), 90);
    EXPECT_EQ(rig->state.DecaySpeed, 9);

    auto* threshold = rig->find<QSlider>("Slider3_0");
    threshold->setFocus();
    QTest::keyClick(threshold, Qt::Key_Up);
    QTest::keyClick(rig->find<QSlider>("Slider4_0"), Qt::Key_Up);
    rig->expectShown({"Label6_0=65%", "Label8_0=110%"});

    rig->click("Check1");
    EXPECT_TRUE(rig->state.AgcEnabled);
    rig->click("Check1");
    EXPECT_FALSE(rig->state.AgcEnabled);
}

// The about text has five lines joined by CR alone.
TEST_F(Form1Test, PortsAndAboutShowOnlyTheirMessages) {
    const SharedState before = rig->state;
    rig->trigger("mnuPorts");
    rig->trigger("mnuAbout");
    ASSERT_EQ(rig->dialogs.messages.size(), 2u);
    const auto& [ports, about] = std::tie(rig->dialogs.messages[0], rig->dialogs.messages[1]);
    EXPECT_EQ(ports.text + "|" + ports.title, "Property is not available in USB version|КАЛИНДОР");
    EXPECT_EQ(about.title, QStringLiteral("О программе КАЛИНДОР"));
    EXPECT_TRUE(about.text.startsWith("     КАЛИНДОР\r      Версия: USB 0.1 Beta\r"));
    EXPECT_EQ(about.text.count('\r'), 4);
    EXPECT_FALSE(about.text.contains('\n'));
    EXPECT_TRUE(about.text.endsWith("\rЛицензия GNU GPL 3 или новее, Linux, 2026"));
    EXPECT_TRUE(ports.icon == UserDialogs::Icon::kNone && about.icon == UserDialogs::Icon::kNone);
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

// The caption runs Пуск -> Стоп -> Старт -> Стоп; an input that cannot be opened leaves the caption
// as it was and says so. Timer2 takes the no-signal period at start.
TEST_F(Form1Test, StartStopCaptionsAndAFailingInput) {
    rig->state.NoSignalSeconds = 10;
    const std::pair<bool, QString> clicks[] = {
        {true, "Пуск"}, {false, "Стоп"}, {false, "Старт"}, {true, "Старт"}, {false, "Стоп"}};
    std::size_t failures = 0;
    for (const auto& [inputFails, caption] : clicks) {
        SCOPED_TRACE(caption.toStdString());
        rig->input.openFailure.reset();
        if (inputFails) {
            rig->input.openFailure = "no such source";
        }
        rig->click("Command1");
        failures += inputFails ? 1 : 0;
        rig->expectShown({"Command1=" + caption});
        EXPECT_EQ(rig->dialogs.messages.size(), failures);
        const bool running = caption == "Стоп";
        EXPECT_EQ(rig->input.isOpen(), running);
        EXPECT_EQ(rig->timer(1).enabled() && rig->timer(2).enabled(), running);
    }
    EXPECT_EQ(rig->timer(2).interval(), 10000);

    // The source stops delivering: capture stops, the window says so once and offers Старт.
    rig->input.silentForMs = 5000;
    rig->timers.advance(6000);
    ASSERT_EQ(rig->dialogs.messages.size(), 3u);
    for (const auto& message : rig->dialogs.messages) {
        EXPECT_EQ(message.text + "|" + message.title,
                  "Невозможно открыть устройство ввода звука.\r\n"
                  "Возможно оно занято или используется другим приложением.|Ошибка в КАЛИНДОР");
        EXPECT_TRUE(message.icon == UserDialogs::Icon::kCritical);
    }
    rig->expectShown({"Command1=Старт"});
    EXPECT_FALSE(rig->timer(1).enabled() || rig->timer(2).enabled());
}

// One buffer of a full-scale 1000 Hz cosine (spectrum point 16, channel 3's frequency): an on-bin
// cosine of amplitude A gives a real part of 128 * A, shown as ln(128 * A) * 25.
TEST_F(Form1Test, OneToneBufferIsDrawnOnce) {
    auto* graph = rig->find<SpectrumView>("Picture1");
    rig->input.deliver(kalindor::test::cosineOnBin(8));
    rig->click("Command1");
    rig->timers.advance(50);
    EXPECT_EQ(graph->picturesPresented(), 1);
    const int level = int(std::lround(std::log(128.0 * 127.0) * 25.0));
    for (int ch = 0; ch < kChannelCount; ++ch) {
        SCOPED_TRACE(ch);
        const QString n = QString::number(ch);
        EXPECT_EQ(rig->find<QWidget>("Picture2_" + n)->palette().window().color(),
                  ch == 3 ? QColor(255, 255, 0) : QColor(Qt::black));
        EXPECT_EQ(rig->find<LevelBar>("ProgressBar1_" + n)->value(), ch == 3 ? level : 0);
    }
    // Channel 3's green marker at x = ln(16) * 48, near the top of the graph.
    EXPECT_EQ(graph->shownImage().pixelColor(int(std::log(16.0) * 48.0), 2), QColor(0, 255, 0));
}

const QString kInitialCaption = QStringLiteral("КАЛИНДОР    USB");
const QString kFilter = QStringLiteral("Предустановки (*.lcf)");

class PresetCommandsTest : public WindowTest {
  protected:
    PresetCommandsTest() { rig->dialogs.openPath = unusual; }

    // The controls show what the unusual preset holds.
    void expectUnusualControls() const {
        QStringList expected = {"Slider1=70",   "Label1=70ms",   "Slider2=3",         "Check1=true",
                                "mnuLine=true", "mnuLineY=true", "mnuGistogramm=true"};
        for (int ch = 0; ch < kChannelCount; ++ch) {
            expected << QStringList{"Slider3_%1=2", "Label6_%1=85%", "Label8_%1=210%"}
                            .replaceInStrings("%1", QString::number(ch));
            EXPECT_EQ(rig->state.ChannelFrequency[ch], 100 + ch);
        }
        rig->expectShown(expected);
        EXPECT_EQ(rig->timer(1).interval(), 70);
        EXPECT_EQ(rig->state.AgcSpeed, 7000);
        EXPECT_EQ(rig->state.PortAddress, 632);
    }
    void expectOneError(const QString& text) const {
        ASSERT_EQ(rig->dialogs.messages.size(), 1u);
        EXPECT_EQ(rig->dialogs.messages[0].text + "|" + rig->dialogs.messages[0].title,
                  text + "|Ошибка");
        EXPECT_TRUE(rig->dialogs.messages[0].icon == UserDialogs::Icon::kCritical);
    }

    QTemporaryDir dir;
    const QString unusual = writeFile(dir, "unusual.lcf", unusualPreset());
};

TEST_F(PresetCommandsTest, OpenErrorsChangeNoSettingAndKeepTheCaption) {
    // Each kind of read failure is the preset file tests' concern; here, one missing and one
    // unreadable file.
    const QString files[] = {dir.filePath("missing.lcf"), writeFile(dir, "text.lcf", "hello\r\n")};
    rig->find<QSlider>("Slider3_4")->setValue(9);
    rig->dialogs.openPath.clear();  // the user cancels
    rig->trigger("mnuOpen");
    EXPECT_TRUE(rig->dialogs.messages.empty());
    const QStringList controls = rig->controls();
    for (const QString& path : files) {
        SCOPED_TRACE(path.toStdString());
        rig->dialogs.messages.clear();
        rig->dialogs.openPath = path;
        rig->trigger("mnuOpen");
        expectOneError("Ошибка открытия файла\r" + path + "\rВозможно файл не существует");
        EXPECT_EQ(rig->controls(), controls);
        EXPECT_EQ(rig->window.windowTitle(), kInitialCaption);
    }
}

TEST_F(PresetCommandsTest, SaveWritesTheSettingsAndSetsTheCaption) {
    rig->trigger("mnuSave");  // cancelled
    // A FIFO stands for any target that is not a regular file: refused, and left a FIFO.
    ASSERT_EQ(::mkfifo(dir.filePath("fifo.lcf").toLocal8Bit().constData(), 0600), 0);
    for (const char* name : {"no-such-folder/x.lcf", "fifo.lcf"}) {
        rig->dialogs.messages.clear();
        rig->dialogs.savePath = dir.filePath(name);
        rig->trigger("mnuSave");
        expectOneError("Ошибка создания файла\r" + rig->dialogs.savePath +
                       "\rВозможно он занят другим приложением");
    }
    EXPECT_FALSE(QFileInfo(dir.filePath("fifo.lcf")).isFile());
    EXPECT_EQ(rig->window.windowTitle(), kInitialCaption);

    rig->find<QSlider>("Slider4_3")->setValue(11);
    rig->trigger("mnuLine");
    rig->trigger("mnuGistogramm");
    rig->trigger("mnuGistogramm");  // choosing the checked item keeps it
    rig->expectShown({"mnuLog=false", "mnuLine=true", "mnuGistogramm=true", "mnuPoligon=false"});
    EXPECT_FALSE(rig->state.XScaleLog || rig->state.GraphPolygon);
    rig->dialogs.savePath = dir.filePath("saved.lcf");
    rig->trigger("mnuSave");
    EXPECT_EQ(rig->dialogs.messages.size(), 1u);
    EXPECT_EQ(rig->dialogs.filters, QStringList({kFilter, kFilter, kFilter, kFilter}));
    EXPECT_EQ(rig->window.windowTitle(), "КАЛИНДОР " + rig->dialogs.savePath);
    SharedState reread;
    applyStartupDefaults(reread);
    EXPECT_TRUE(loadPreset(rig->dialogs.savePath.toStdString(), reread));
    EXPECT_EQ(reread, rig->state);
}

// Open moves every control and sets the caption. Reset: "No" changes nothing;
// "Yes" restores what a fresh start shows, except the scan speed, the AGC switch, the noise
// filter and the caption.
TEST_F(PresetCommandsTest, OpenAppliesThePresetAndResetRestoresTheDefaultsItOwns) {
    rig->trigger("mnuOpen");
    EXPECT_EQ(rig->dialogs.filters, QStringList{kFilter});
    EXPECT_TRUE(rig->dialogs.messages.empty());
    EXPECT_EQ(rig->window.windowTitle(), "КАЛИНДОР " + unusual);
    expectUnusualControls();
    const QStringList loaded = rig->controls();
    rig->dialogs.answerYes = false;
    rig->trigger("mnuReset");
    ASSERT_EQ(rig->dialogs.questions.size(), 1u);
    EXPECT_EQ(rig->dialogs.questions[0].text + "|" + rig->dialogs.questions[0].title,
              "Вы действительно хотите сбросить установки?|Сброс настроек");
    EXPECT_EQ(rig->controls(), loaded);

    rig->dialogs.answerYes = true;
    rig->trigger("mnuReset");
    WindowRig fresh;
    fresh.window.commands().load({});
    fresh.find<QSlider>("Slider1")->setValue(70);
    fresh.click("Check1");
    EXPECT_EQ(rig->controls(), fresh.controls());
    EXPECT_EQ(rig->state.ChannelFrequency,
              (std::array<std::int16_t, kChannelCount>{1, 4, 9, 16, 25, 36, 49, 64}));
    EXPECT_EQ(
        std::tuple(rig->state.AgcSpeed, rig->state.PortAddress, rig->state.NoiseFilterPosition),
        std::tuple(5000, 888, 80));
    EXPECT_EQ(rig->window.windowTitle(), "КАЛИНДОР " + unusual);
}

// A preset named on the command line, with "start" and "h" endings: the caption shows the text
// before the ending as typed; failures name the reader's code after two blanks.
TEST_F(PresetCommandsTest, CommandLinePresetStartAndHide) {
    const QString endsInH = writeFile(dir, "presh", unusualPreset());
    const QString tooShort = writeFile(dir, "short.lcf", " 50 \r\n 5 \r\n");
    const QString missing = dir.filePath("missing.lcf");
    const QString failure =
        QStringLiteral("Ошибка открытия файла  %1\r%2 \rВозможно файл не существует");
    // Command text, input fails, message (empty: none), running, visible, caption after "КАЛИНДОР "
    // (empty: the initial caption).
    const std::tuple<QString, bool, QString, bool, bool, QString> cases[] = {
        {unusual + " start", false, "", true, true, unusual + " "},
        {unusual + "starth", false, "", true, false, unusual},
        {endsInH, false, "", false, true, endsInH},
        {unusual + "starth", true, "Невозможно открыть", false, true, unusual},
        {missing + " starth", false, failure.arg(53).arg(missing), false, true, ""},
        {tooShort + " start", false, failure.arg(62).arg(tooShort), false, true, ""},
    };
    for (const auto& [command, inputFails, message, running, visible, caption] : cases) {
        SCOPED_TRACE(command.toStdString());
        rig = std::make_unique<WindowRig>();
        if (inputFails) {
            rig->input.openFailure = "no such source";
        }
        rig->window.commands().load(parseCommandLine(command.toStdString()));
        const auto& messages = rig->dialogs.messages;
        EXPECT_EQ(messages.size(), message.isEmpty() ? 0u : 1u);
        for (const auto& shown : messages) {
            EXPECT_TRUE(shown.text.startsWith(message)) << shown.text.toStdString();
        }
        rig->expectShown({running ? "Command1=Стоп" : "Command1=Пуск"});
        EXPECT_EQ(rig->input.isOpen() && rig->timer(1).enabled(), running);
        EXPECT_EQ(rig->window.isVisible(), visible);
        EXPECT_EQ(rig->window.windowTitle(),
                  caption.isEmpty() ? kInitialCaption : "КАЛИНДОР " + caption);
        if (caption.isEmpty()) {
            rig->expectShown({"Label10=USB подключен"});
        } else {
            expectUnusualControls();
        }
    }
}

}  // namespace
}  // namespace kalindor::ui::test
