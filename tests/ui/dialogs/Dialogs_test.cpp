// SPDX-License-Identifier: GPL-3.0-or-later
#include <QApplication>
#include <QDialog>
#include <QLabel>
#include <QPushButton>
#include <QRadioButton>
#include <QSettings>
#include <QSpinBox>
#include <QTest>
#include <tuple>
#include <utility>

#include "UiTestSupport.h"
#include "core/BuildFeatures.h"
#include "engine/LightDeviceFactory.h"
#include "support/VirtualTimerPort.h"
#include "ui/OutputSettings.h"

namespace kalindor::ui::test {
namespace {

class DialogsTest : public WindowTest {
  protected:
    QWidget* dialog(const QString& name) const { return rig->find<QWidget>(name); }
};

// Frequencies, noise filter and AGC speed: modeless, kept once made, hidden by "Закрыть" or the
// close box, and filled from the state again on every showing.
TEST_F(DialogsTest, SettingsDialogsShowTheStateAndMoveIt) {
    for (const char* menu : {"mnuFrequence", "mnuNoiseFilter", "mnuARUSpeed"}) {
        rig->trigger(menu);
    }
    EXPECT_EQ(QApplication::activeModalWidget(), nullptr);
    for (const QString title :
         {"Form2=Настройки частоты", "Form4=Настройки фильтра шума", "Form5=Скорость АРУ"}) {
        EXPECT_TRUE(dialog(title.section('=', 0, 0))->isVisible());
        EXPECT_EQ(dialog(title.section('=', 0, 0))->windowTitle(), title.section('=', 1));
    }
    rig->expectShown({"Label1_0=1", "Label2_0=62.5 Гц", "Slider1_2=9", "Label2_2=562.5 Гц",
                      "Label1_7=8", "Label2_7=4000 Гц", "Slider1_7=64", "Command1=Закрыть"},
                     "Form2");
    rig->expectShown({"Slider1_0=100", "Label1_0=Выкл"}, "Form4");
    rig->expectShown({"Slider1=5000", "Label3=5000", "Label1=Больше", "Label2=Меньше"}, "Form5");

    // Moved: labels and settings follow (noise filter 1% is level 2.55, AGC steps are 100).
    rig->set({"Slider1_2=255", "Slider1_0=2"}, "Form2");
    rig->set({"Slider1_0=99"}, "Form4");
    rig->find<QWidget>("Form5")->findChild<QSlider*>("Slider1")->triggerAction(
        QAbstractSlider::SliderSingleStepAdd);
    rig->expectShown({"Label2_2=15937.5 Гц", "Label2_0=125 Гц"}, "Form2");
    rig->expectShown({"Label1_0=1%"}, "Form4");
    rig->expectShown({"Label3=5100"}, "Form5");
    EXPECT_FLOAT_EQ(rig->state.NoiseFilterLevel, 2.55f);

    // Hidden, changed as a preset read meanwhile would change them, shown again: the same
    // windows show the new values; an AGC speed outside the slider is shown as it is.
    const QWidget* form2 = dialog("Form2");
    dialog("Form2")->findChild<QPushButton*>("Command1")->click();
    dialog("Form4")->findChild<QPushButton*>("Command1")->click();
    dialog("Form5")->close();
    EXPECT_FALSE(dialog("Form2")->isVisible() || dialog("Form4")->isVisible() ||
                 dialog("Form5")->isVisible());
    rig->state.ChannelFrequency[5] = 200;
    rig->state.NoiseFilterLevel = 122.4f;  // position 52's level: 100 - 122.4f / 2.55 = 51.9999994
    for (const std::int16_t speed : {9000, 20000, -5}) {
        rig->state.AgcSpeed = speed;
        rig->trigger("mnuARUSpeed");
        rig->expectShown({QStringLiteral("Label3=%1").arg(speed),
                          QStringLiteral("Slider1=%1").arg(std::clamp<int>(speed, 1000, 10000))},
                         "Form5");
        EXPECT_EQ(rig->state.AgcSpeed, speed) << "filling writes nothing back";
    }
    rig->trigger("mnuFrequence");
    rig->trigger("mnuNoiseFilter");
    EXPECT_EQ(dialog("Form2"), form2);
    rig->expectShown({"Slider1_5=200", "Label2_5=12500 Гц"}, "Form2");
    rig->expectShown({"Slider1_0=52", "Label1_0=48%"}, "Form4");

    // While shown, they follow a reset and a preset load.
    rig->set({"Slider1_1=77"}, "Form2");
    rig->set({"Slider1=8000"}, "Form5");
    rig->trigger("mnuReset");
    rig->expectShown({"Slider1_1=4", "Label2_1=250 Гц"}, "Form2");
    rig->expectShown({"Slider1=5000", "Label3=5000"}, "Form5");

    QTemporaryDir dir;
    rig->dialogs.openPath = writeFile(dir, "unusual.lcf", unusualPreset());
    rig->trigger("mnuOpen");
    rig->expectShown({"Slider1_7=107", "Label2_7=6687.5 Гц"}, "Form2");
    rig->expectShown({"Label1_0=20%"}, "Form4");
    rig->expectShown({"Label3=7000"}, "Form5");
}

// The effects dialog is modal, applies each change at once (the timers take the new periods,
// Timer2 while running too) and loads its controls again on every opening.
TEST_F(DialogsTest, EffectsDialogIsModalAndAppliesChangesAtOnce) {
    rig->click("Command1");
    rig->trigger("mnuAutomatic");
    auto* form6 = rig->find<QDialog>("Form6");
    EXPECT_EQ(form6->windowTitle(), QStringLiteral("Настройки автомата световых эффектов"));
    EXPECT_EQ(QApplication::activeModalWidget(), form6);
    rig->expectShown({"Slider1=1", "Label2=1", "Slider2=10", "Option1_0=false", "Option1_1=true",
                      "Option2_0=true", "Option2_2=false"},
                     "Form6");

    rig->set({"Slider1=4"}, "Form6");
    rig->expectShown({"Label2=4"}, "Form6");
    EXPECT_EQ(rig->timer(2).interval(), 4000);
    EXPECT_TRUE(rig->timer(2).enabled());
    rig->set({"Slider2=3"}, "Form6");
    EXPECT_EQ(rig->timer(3).interval(), 300);
    for (const QString option : {"Option1_0", "Option1_1", "Option2_1", "Option2_2", "Option2_0"}) {
        form6->findChild<QRadioButton*>(option)->click();
        EXPECT_EQ(rig->state.AutomatonDisabled, option == "Option1_0") << option.toStdString();
        if (option.startsWith("Option2_")) {
            EXPECT_EQ(rig->state.EffectKind, option.back().digitValue());
        }
    }
    // Its captions, wider in today's fonts than the design widths, each fit their control (a
    // wrapped label: its lines fit its height), and the controls fit the dialog.
    for (const QWidget* control : form6->findChildren<QWidget*>()) {
        const auto* label = qobject_cast<const QLabel*>(control);
        if (label != nullptr || qobject_cast<const QRadioButton*>(control) != nullptr) {
            const bool fits = label != nullptr && label->wordWrap()
                                  ? label->heightForWidth(label->width()) <= label->height()
                                  : control->sizeHint().width() <= control->width();
            EXPECT_TRUE(fits && form6->rect().contains(
                                    control->mapTo(form6, control->rect().bottomRight())))
                << control->objectName().toStdString();
        }
    }
    form6->close();

    rig->state.EffectKind = kRunningWave;  // as the random effect chooses
    rig->state.AutomatonDisabled = true;
    rig->state.EffectIntervalMs = 500;
    rig->trigger("mnuAutomatic");
    EXPECT_EQ(rig->find<QDialog>("Form6"), form6);
    rig->expectShown({"Option2_1=true", "Option1_0=true", "Slider2=5", "Slider1=4"}, "Form6");
    form6->close();
}

using Kind = OutputChoice::Kind;

class OutputsDialogTest : public WindowTest {
  protected:
    OutputsDialogTest() { rig->window.setOutputSettings(settings); }

    QDialog* open() const {
        rig->trigger("mnuOutputs");
        return rig->find<QDialog>("Form7");
    }
    // What the next start reads.
    OutputChoices saved() const { return loadOutputChoices(QSettings(path, QSettings::IniFormat)); }

    QTemporaryDir dir;
    QString path = dir.filePath("kalindor.conf");
    QSettings settings{path, QSettings::IniFormat};
};

// The last item of "Настройки" opens the modal dialog; OK keeps the outputs in the --device
// syntax for the next start, reopening shows them, Cancel keeps nothing.
TEST_F(OutputsDialogTest, OkKeepsTheOutputsAndReopeningShowsThem) {
    const QAction* item = rig->find<QMenu>("mnuOptions")->actions().back();
    EXPECT_EQ(item->objectName() + "=" + item->text(), QStringLiteral("mnuOutputs=Выход света…"));
    QDialog* form7 = open();
    EXPECT_EQ(QApplication::activeModalWidget(), form7);
    rig->expectShown({"optUsb=true", "fraOla=false", "fraGpio=false", "spnDelay=0",
                      "spnOlaPort=9010", "optSwitch=true"},
                     "Form7");
    if (!kBuiltWithOla || !kBuiltWithGpio) {
        GTEST_SKIP() << "the rest needs the OLA and GPIO outputs";
    }

    const QStringList entered{"optSim=true",      "fraOla=true",       "spnUniverse=3",
                              "spnFirstSlot=505", "optDim=true",       "spnOlaPort=9011",
                              "optPixels=true",   "spnPixels=3",       "cmdColour_2=#102030",
                              "fraGpio=true",     "txtChip=gpiochip1", "spnLine_0=7",
                              "spnLine_1=6",      "spnLine_2=5",       "spnLine_3=4",
                              "spnLine_4=3",      "spnLine_5=2",       "spnLine_6=1",
                              "spnLine_7=0",      "chkActiveLow=true", "spnDelay=250"};
    rig->set(entered, "Form7");
    rig->click("cmdOK");
    EXPECT_FALSE(form7->isVisible());
    EXPECT_EQ(
        QSettings(path, QSettings::IniFormat).value("outputs/devices").toStringList(),
        QStringList({"sim", "ola:3:505:pixels:3", "gpio:gpiochip1:7,6,5,4,3,2,1,0:active-low"}));
    const OutputChoices expected = saved();
    EXPECT_EQ(
        std::tuple(expected.olaPort, expected.dmxLevels, expected.lightDelayMs, expected.colours[2],
                   expected.colours[3]),
        std::tuple(9011, DmxLevels::kDim, 250, Rgb{0x10, 0x20, 0x30}, kDefaultChannelColours[3]));

    open();
    rig->expectShown(entered, "Form7");
    rig->set({"optNone=true", "fraOla=false", "spnDelay=999"}, "Form7");
    rig->click("cmdCancel");
    EXPECT_FALSE(form7->isVisible());
    EXPECT_EQ(saved(), expected);
    open();
    rig->expectShown(entered, "Form7");
}

// The dialog shows the first OLA and GPIO outputs and keeps the others as they are; input it
// cannot use is refused with the reason, the dialog staying open and nothing saved.
TEST_F(OutputsDialogTest, OtherOutputsAreKeptAndInvalidInputIsRefused) {
    if (!kBuiltWithOla || !kBuiltWithGpio) {
        GTEST_SKIP() << "needs the OLA and GPIO outputs";
    }
    OutputChoices many{.devices = {}};
    for (const char* device :
         {"ola:1:1", "gpio:a:0,1,2,3,4,5,6,7", "ola:2:10", "gpio:b:8,9,10,11,12,13,14,15"}) {
        many.devices.push_back(parseOutputChoice(device).value());
    }
    saveOutputChoices(settings, many);
    open();
    rig->expectShown({"optNone=true", "spnUniverse=1", "txtChip=a", "spnLine_7=7"}, "Form7");
    rig->click("cmdOK");
    EXPECT_EQ(saved(), many);

    const std::pair<QStringList, QString> cases[] = {
        {{"txtChip= "}, "Укажите имя микросхемы GPIO"},
        {{"spnLine_5=0"}, "Каналы 1 и 6 подключены к одной линии GPIO 0"},
        {{"txtChip=a:b"}, "не может содержать двоеточие"},
        {{"spnUniverse=2"}, "уже занята другим сохранённым выходом"},
        {{"optRgbw=true", "spnFirstSlot=482"}, "Восемь каналов по 4 слота не помещаются"},
        {{"optPixels=true", "spnPixels=170", "spnFirstSlot=4"},
         "Лента из 1360 светодиодов не помещается в 8 вселенных: с канала DMX 4 помещается не "
         "больше 169 на канал."},
        {{"spnUniverse=1", "optPixels=true", "spnPixels=30", "spnFirstSlot=2"},
         "уже занята другим сохранённым выходом"},
    };
    for (const auto& [entries, reason] : cases) {
        SCOPED_TRACE(entries.join(' ').toStdString());
        QDialog* form7 = open();
        rig->set(entries + QStringList{"optUsb=true"}, "Form7");
        rig->click("cmdOK");
        EXPECT_TRUE(form7->isVisible());
        EXPECT_TRUE(!rig->dialogs.messages.empty() &&
                    rig->dialogs.messages.back().text.contains(reason));
        rig->dialogs.messages.clear();
        EXPECT_EQ(saved(), many);
        form7->reject();
    }
}

// What a new user meets at OK: a number typed beyond a field's range stays as typed and is
// refused with the range; an output that cannot be opened is refused in Russian, the dialog
// staying open and nothing saved; the choices the command line made for this run are named.
TEST_F(OutputsDialogTest, OkRefusesOutOfRangeNumbersAndOutputsThatCannotOpen) {
    kalindor::test::VirtualTimerPort timers;
    LightSetup setup = createLightSetup({}, {}, timers);
    rig->window.setOutputControl(
        {.current = [&] { return setup.choices; },
         .apply = [&](const OutputChoices& next) -> Expected<void, QString> {
             if (auto applied = applyLightChoices(setup, next, {}); !applied) {
                 return unexpected(russianOutputError(applied.error()));
             }
             return {};
         },
         .overrides = commandLineOutputs(
             parseLaunchOptions(std::vector<std::string>{"--device", "sim", "--light-delay", "100"},
                                LaunchProgram::kWindow)
                 .value())});
    const std::pair<QStringList, QString> cases[] = {
        {{"spnDelay"}, "Число 6000 вне допустимых пределов: можно от 0 до 1000."},
        {{"fraGpio=true", "txtChip=bad chip/x"},
         "Невозможно открыть выход света GPIO bad chip/x: не удалось открыть микросхему (такой "
         "микросхемы нет в /dev)."},
    };
    for (const auto& [entries, reason] : cases) {
        QDialog* form7 = open();
        EXPECT_TRUE(
            rig->find<QLabel>("lblNote")->text().contains("выходы sim, задержка света 100 мс"));
        if (entries.size() == 1) {
            auto* box = rig->find<QSpinBox>(entries[0]);
            box->selectAll();
            QTest::keyClicks(box, "6000");
            EXPECT_EQ(box->text(), "6000");
        } else if (kBuiltWithGpio) {
            rig->set(entries, "Form7");
        } else {
            continue;
        }
        rig->click("cmdOK");
        EXPECT_TRUE(form7->isVisible());
        ASSERT_FALSE(rig->dialogs.messages.empty());
        EXPECT_EQ(rig->dialogs.messages.back().text, reason);
        rig->dialogs.messages.clear();
        EXPECT_EQ(saved(), OutputChoices{});
        form7->reject();
    }
}

// An output this build lacks is not offered, and saved devices naming one cannot be read: they
// load as the default board.
TEST_F(OutputsDialogTest, OutputsThisBuildLacksAreNotOffered) {
    settings.setValue("outputs/devices", QStringList{"sim", "ola:2:1", "gpio:a:0,1,2,3,4,5,6,7"});
    settings.sync();
    const QDialog* form7 = open();
    EXPECT_EQ(rig->find<QWidget>("fraOla")->isVisibleTo(form7), kBuiltWithOla);
    EXPECT_EQ(rig->find<QWidget>("fraGpio")->isVisibleTo(form7), kBuiltWithGpio);
    const bool both = kBuiltWithOla && kBuiltWithGpio;
    EXPECT_EQ(saved().devices.size(), both ? 3u : 1u);
    rig->expectShown({both ? "optSim=true" : "optUsb=true"}, "Form7");
}

// A value that cannot be read loads as if its key were missing, as that key's default; the
// other keys keep their values.
TEST(OutputSettingsTest, UnreadableValuesLoadAsThatKeysDefault) {
    QTemporaryDir dir;
    QSettings settings(dir.filePath("kalindor.conf"), QSettings::IniFormat);
    EXPECT_EQ(loadOutputChoices(settings), OutputChoices{});
    const OutputChoices good{.devices = {{.kind = Kind::kSim}},
                             .usbVendorId = 0x1234,
                             .usbProductId = 0xABCD,
                             .olaPort = 9999,
                             .dmxLevels = DmxLevels::kDim,
                             .lightDelayMs = 40,
                             .colours = {{{1, 2, 3}}}};
    const std::pair<QString, QVariant> cases[] = {
        {"devices", "nonsense"},    {"devices", QStringList{"sim", "usb"}},
        {"devices", QStringList{}}, {"devices", "gpio:c:1,1,2,3,4,5,6,7"},
        {"olaPort", "port"},        {"olaPort", 65536},
        {"dmxLevels", "bright"},    {"lightDelayMs", 1001},
        {"lightDelayMs", "-1"},     {"usbId", "03EB"},
        {"usbId", "03EB:xyz"},      {"colours", "FF0000"},
    };
    for (const auto& [key, value] : cases) {
        SCOPED_TRACE((key + "=" + value.toString()).toStdString());
        saveOutputChoices(settings, good);
        settings.remove("outputs/" + key);
        const OutputChoices missing = loadOutputChoices(settings);
        EXPECT_NE(missing, good);
        settings.setValue("outputs/" + key, value);
        EXPECT_EQ(loadOutputChoices(settings), missing);
    }
}

// A status line that names every watched output, the board (as the window last heard it) first
// unless no board was chosen; the board's own texts while it is the only output.
TEST(OutputSettingsTest, StatusLineNamesEachOutput) {
    kalindor::test::FakeLightDevice board;
    for (const bool listed : {true, false}) {
        std::vector<std::unique_ptr<LightOutput>> others;
        others.push_back(std::make_unique<FailedOutput>("OLA 999999999"));
        others.push_back(std::make_unique<FailedOutput>("GPIO bad chip/x"));
        const LightOutputs outputs(board, listed, std::move(others));
        // No break inside an output's part: non-breaking spaces there.
        const std::string rest =
            "OLA\u00A0999999999:\u00A0нет · GPIO\u00A0bad\u00A0chip/x:\u00A0нет";
        EXPECT_EQ(outputStatusLine(outputs, true), listed ? "USB:\u00A0да · " + rest : rest);
    }
    const LightOutputs boardOnly(board, true, {});
    EXPECT_EQ(outputStatusLine(boardOnly, true), kStatusConnected);
    EXPECT_EQ(outputStatusLine(boardOnly, false), kStatusNotConnected);
}

}  // namespace
}  // namespace kalindor::ui::test
