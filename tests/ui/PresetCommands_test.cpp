#include "UiTestSupport.h"
#include "core/ControlUpdates.h"
#include "presets/PresetFile.h"

namespace kalindor::ui::test {
namespace {

const QString kInitialCaption = QStringLiteral("КАЛИНДОР    USB");
const QString kFilter = QStringLiteral("Предустановки (*.lcf)");

class PresetCommandsTest : public WindowTest {
  protected:
    // The controls show what the unusual preset holds.
    void expectUnusualControls() const {
        EXPECT_EQ(rig->slider("Slider1"), 70);
        EXPECT_EQ(rig->text("Label1"), QStringLiteral("70ms"));
        EXPECT_EQ(rig->slider("Slider2"), 3);
        EXPECT_TRUE(rig->find<QAbstractButton>("Check1")->isChecked());
        for (int ch = 0; ch < kChannelCount; ++ch) {
            SCOPED_TRACE(ch);
            EXPECT_EQ(rig->slider(QStringLiteral("Slider3_%1").arg(ch)), 2);
            EXPECT_EQ(rig->text(QStringLiteral("Label6_%1").arg(ch)), QStringLiteral("85%"));
            EXPECT_EQ(rig->slider(QStringLiteral("Slider4_%1").arg(ch)), 20);
            EXPECT_EQ(rig->text(QStringLiteral("Label8_%1").arg(ch)), QStringLiteral("210%"));
            EXPECT_EQ(rig->state.ChannelFrequency[ch], 100 + ch);
        }
        EXPECT_TRUE(rig->checked("mnuLine") && rig->checked("mnuLineY"));
        EXPECT_TRUE(rig->checked("mnuGistogramm"));
        EXPECT_EQ(rig->timer(1).interval(), 70);
        EXPECT_EQ(rig->state.AgcSpeed, 7000);
        EXPECT_EQ(rig->state.PortAddress, 632);
    }
    void expectOneError(const QString& text, const QString& title = "Ошибка") const {
        ASSERT_EQ(rig->dialogs.messages.size(), 1u);
        EXPECT_EQ(rig->dialogs.messages[0].text, text);
        EXPECT_EQ(rig->dialogs.messages[0].title, title);
        EXPECT_TRUE(rig->dialogs.messages[0].icon == UserDialogs::Icon::Critical);
    }

    QTemporaryDir dir;
};

TEST_F(PresetCommandsTest, OpenAppliesThePresetToEveryControlAndSetsTheCaption) {
    rig->trigger("mnuOpen");  // cancelled
    EXPECT_EQ(rig->window.windowTitle(), kInitialCaption);
    rig->dialogs.openPath = writeFile(dir, "unusual.lcf", unusualPreset());
    rig->trigger("mnuOpen");
    EXPECT_EQ(rig->dialogs.filters, QStringList({kFilter, kFilter}));
    EXPECT_TRUE(rig->dialogs.messages.empty());
    EXPECT_EQ(rig->window.windowTitle(), "КАЛИНДОР " + rig->dialogs.openPath);
    expectUnusualControls();
    EXPECT_EQ(rig->find<QWidget>("Form2"), nullptr) << "no settings dialog is opened";
}

TEST_F(PresetCommandsTest, OpenErrorsChangeNoSettingAndKeepTheCaption) {
    QByteArray outOfRange = unusualPreset();
    outOfRange.replace(" 70 \r\n", " 300 \r\n");
    const QString files[] = {dir.filePath("missing.lcf"), writeFile(dir, "short.lcf", " 5 \r\n"),
                             writeFile(dir, "text.lcf", "hello\r\n"),
                             writeFile(dir, "range.lcf", outOfRange), dir.path()};
    for (const QString& path : files) {
        SCOPED_TRACE(path.toStdString());
        rig = std::make_unique<WindowRig>();
        rig->window.load("");
        rig->find<QSlider>("Slider3_4")->setValue(9);
        const SharedState before = rig->state;
        rig->dialogs.openPath = path;
        rig->trigger("mnuOpen");
        expectOneError("Ошибка открытия файла\r" + path + "\rВозможно файл не существует");
        EXPECT_EQ(rig->state, before);
        EXPECT_EQ(rig->window.windowTitle(), kInitialCaption);
        EXPECT_EQ(rig->text("Label6_4"), QStringLiteral("15%"));
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
    rig->dialogs.savePath = dir.filePath("saved.lcf");
    rig->trigger("mnuSave");
    EXPECT_EQ(rig->dialogs.messages.size(), 1u);
    EXPECT_EQ(rig->dialogs.filters, QStringList({kFilter, kFilter, kFilter}));
    EXPECT_EQ(rig->window.windowTitle(), "КАЛИНДОР " + rig->dialogs.savePath);
    SharedState reread;
    applyStartupDefaults(reread);
    EXPECT_FALSE(loadPreset(rig->dialogs.savePath.toStdString(), reread));
    EXPECT_EQ(reread, rig->state);
}

// "Yes" restores the defaults the reset owns and leaves scan speed, AGC switch, noise filter
// and caption; "No" changes nothing.
TEST_F(PresetCommandsTest, ResetAsksAndRestoresTheDefaultsItOwns) {
    rig->dialogs.openPath = writeFile(dir, "unusual.lcf", unusualPreset());
    rig->trigger("mnuOpen");
    const QString caption = rig->window.windowTitle();
    const SharedState loaded = rig->state;
    rig->dialogs.answerYes = false;
    rig->trigger("mnuReset");
    ASSERT_EQ(rig->dialogs.questions.size(), 1u);
    EXPECT_EQ(rig->dialogs.questions[0].text, "Вы действительно хотите сбросить установки?");
    EXPECT_EQ(rig->dialogs.questions[0].title, QStringLiteral("Сброс настроек"));
    EXPECT_EQ(rig->state, loaded);
    expectUnusualControls();

    rig->dialogs.answerYes = true;
    rig->trigger("mnuReset");
    for (int ch = 0; ch < kChannelCount; ++ch) {
        SCOPED_TRACE(ch);
        EXPECT_EQ(rig->text(QStringLiteral("Label6_%1").arg(ch)), QStringLiteral("55%"));
        EXPECT_EQ(rig->text(QStringLiteral("Label8_%1").arg(ch)), QStringLiteral("100%"));
        EXPECT_EQ(rig->slider(QStringLiteral("Slider3_%1").arg(ch)), 5);
        EXPECT_EQ(rig->slider(QStringLiteral("Slider4_%1").arg(ch)), 31);
        EXPECT_EQ(rig->state.ChannelFrequency[ch], (ch + 1) * (ch + 1));
    }
    EXPECT_TRUE(rig->checked("mnuLog") && rig->checked("mnuLogY") && rig->checked("mnuPoligon"));
    EXPECT_EQ(rig->slider("Slider2"), 5);
    EXPECT_EQ(rig->state.AgcSpeed, 5000);
    EXPECT_EQ(rig->state.PortAddress, 888);
    EXPECT_EQ(rig->text("Label1"), QStringLiteral("70ms"));
    EXPECT_TRUE(rig->find<QAbstractButton>("Check1")->isChecked());
    EXPECT_EQ(rig->state.NoiseFilterPosition, 80);
    EXPECT_EQ(rig->window.windowTitle(), caption);
}

// A preset named on the command line, with "start" and "h" endings: the caption shows the
// text before the ending as typed; failures name the reader's code after two blanks.
TEST_F(PresetCommandsTest, CommandLinePresetStartAndHide) {
    const QString good = writeFile(dir, "x.lcf", unusualPreset());
    const QString endsInH = writeFile(dir, "presh", unusualPreset());
    const QString tooShort = writeFile(dir, "short.lcf", " 50 \r\n 5 \r\n");
    const QString missing = dir.filePath("missing.lcf");
    const auto failure = [](const QString& codeAndPath) {
        return "Ошибка открытия файла  " + codeAndPath + "\rВозможно файл не существует";
    };
    const struct {
        QString command;
        bool inputFails;
        QString message;  // empty: none
        bool running;
        bool visible;
        QString caption;  // after "КАЛИНДОР "; empty: the initial caption
    } cases[] = {
        {good + " start", false, "", true, true, good + " "},
        {good + "starth", false, "", true, false, good},
        {good + "STARTH", false, "", true, false, good},
        {endsInH, false, "", false, true, endsInH},
        {good + "starth", true, "Невозможно открыть", false, true, good},
        {missing + " starth", false, failure("53\r" + missing + " "), false, true, ""},
        {tooShort + " start", false, failure("62\r" + tooShort + " "), false, true, ""},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.command.toStdString());
        rig = std::make_unique<WindowRig>();
        if (c.inputFails) {
            rig->input.openFailure = "no such source";
        }
        rig->window.load(c.command.toStdString());
        const auto& messages = rig->dialogs.messages;
        EXPECT_EQ(messages.size(), c.message.isEmpty() ? 0u : 1u);
        if (!messages.empty()) {
            EXPECT_TRUE(messages[0].text.startsWith(c.message)) << messages[0].text.toStdString();
            EXPECT_TRUE(messages[0].icon == UserDialogs::Icon::Critical);
        }
        EXPECT_EQ(rig->text("Command1"), c.running ? "Стоп" : "Пуск");
        EXPECT_EQ(rig->input.isOpen(), c.running);
        EXPECT_EQ(rig->timer(1).enabled(), c.running);
        EXPECT_EQ(rig->window.isVisible(), c.visible);
        EXPECT_EQ(rig->window.windowTitle(),
                  c.caption.isEmpty() ? kInitialCaption : "КАЛИНДОР " + c.caption);
        if (c.caption.isEmpty()) {
            EXPECT_EQ(rig->text("Label10"), QStringLiteral("USB подключен"));
        } else {
            expectUnusualControls();
        }
    }
}

}  // namespace
}  // namespace kalindor::ui::test
