#include "UiTestSupport.h"
#include "core/ControlUpdates.h"
#include "launch/CommandLine.h"
#include "presets/PresetFile.h"

namespace kalindor::ui::test {
namespace {

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
    rig->dialogs.savePath = dir.filePath("no-such-folder/x.lcf");
    rig->trigger("mnuSave");
    expectOneError("Ошибка создания файла\r" + rig->dialogs.savePath +
                   "\rВозможно он занят другим приложением");
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
    EXPECT_EQ(rig->dialogs.filters, QStringList({kFilter, kFilter, kFilter}));
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
    EXPECT_EQ(rig->dialogs.questions[0].text, "Вы действительно хотите сбросить установки?");
    EXPECT_EQ(rig->dialogs.questions[0].title, QStringLiteral("Сброс настроек"));
    EXPECT_EQ(rig->controls(), loaded);

    rig->dialogs.answerYes = true;
    rig->trigger("mnuReset");
    WindowRig fresh;
    fresh.window.commands().load({});
    fresh.find<QSlider>("Slider1")->setValue(70);
    fresh.click("Check1");
    EXPECT_EQ(rig->controls(), fresh.controls());
    for (int ch = 0; ch < kChannelCount; ++ch) {
        EXPECT_EQ(rig->state.ChannelFrequency[ch], (ch + 1) * (ch + 1));
    }
    EXPECT_EQ(rig->state.AgcSpeed, 5000);
    EXPECT_EQ(rig->state.PortAddress, 888);
    EXPECT_EQ(rig->state.NoiseFilterPosition, 80);
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
