#include <QCheckBox>
#include <QDir>
#include <QFile>
#include <QLabel>
#include <QPushButton>
#include <QSlider>
#include <QTemporaryDir>
#include <QTest>
#include <memory>

#include "UiTestSupport.h"
#include "core/ControlUpdates.h"
#include "presets/PresetFile.h"
#include "ui/dialogs/Form2.h"

using namespace kalindor;
using namespace kalindor::ui;
using namespace kalindor::ui::test;

namespace {

const QString kInitialCaption = QStringLiteral("КАЛИНДОР    USB");

}  // namespace

class PresetCommandsTest : public QObject {
    Q_OBJECT

  private:
    std::unique_ptr<WindowRig> rig_;
    QTemporaryDir dir_;
    Form1& window() { return rig_->window; }
    ScriptedDialogs& dialogs() { return rig_->dialogs; }

    void expectOneCriticalError(const QString& text) {
        QCOMPARE(dialogs().messages.size(), std::size_t{1});
        QCOMPARE(dialogs().messages[0].text, text);
        QCOMPARE(dialogs().messages[0].title, QStringLiteral("Ошибка"));
        QVERIFY(dialogs().messages[0].icon == UserDialogs::Icon::Critical);
    }

    // The controls show what the unusual preset holds.
    void expectUnusualControls() {
        QCOMPARE(window().Slider1->value(), 70);
        QCOMPARE(window().Label1->text(), QStringLiteral("70ms"));
        QCOMPARE(window().Slider2->value(), 3);
        QVERIFY(window().Check1->isChecked());
        for (int ch = 0; ch < kChannelCount; ++ch) {
            QCOMPARE(window().Slider3[ch]->value(), 2);
            QCOMPARE(window().Label6[ch]->text(), QStringLiteral("85%"));
            QCOMPARE(window().Slider4[ch]->value(), 20);
            QCOMPARE(window().Label8[ch]->text(), QStringLiteral("210%"));
        }
        QVERIFY(window().mnuLine->isChecked() && !window().mnuLog->isChecked());
        QVERIFY(window().mnuLineY->isChecked() && !window().mnuLogY->isChecked());
        QVERIFY(window().mnuGistogramm->isChecked() && !window().mnuPoligon->isChecked());
        QCOMPARE(window().engine().timer1().interval(), 70);
    }

  private slots:
    void init() {
        QVERIFY(dir_.isValid());
        rig_ = std::make_unique<WindowRig>();
    }
    void cleanup() { rig_.reset(); }

    void openCancelledChangesNothing() {
        window().commands().load({});
        const SharedState before = rig_->state;
        dialogs().openPath.clear();
        window().mnuOpen->trigger();
        QCOMPARE(dialogs().filters, QStringList{QStringLiteral("Предустановки (*.lcf)")});
        QVERIFY(rig_->state == before);
        QCOMPARE(window().windowTitle(), kInitialCaption);
        QVERIFY(dialogs().messages.empty());
    }

    void openAppliesThePresetToEveryControl() {
        window().commands().load({});
        dialogs().openPath = writeFile(dir_, "unusual.lcf", unusualPreset());
        window().mnuOpen->trigger();
        QVERIFY(dialogs().messages.empty());
        QCOMPARE(window().windowTitle(), QStringLiteral("КАЛИНДОР ") + dialogs().openPath);
        expectUnusualControls();
        QCOMPARE(rig_->state.AgcSpeed, std::int16_t{7000});
        QCOMPARE(rig_->state.PortAddress, std::int16_t{632});
        QCOMPARE(rig_->state.ChannelFrequency[7], std::int16_t{107});
        // No settings dialog is opened by a preset command.
        QVERIFY(window().form2() == nullptr);
    }

    void openErrorsChangeNoSettingAndKeepTheCaption() {
        QByteArray shortFile;
        for (int line = 0; line < 20; ++line) {
            shortFile += " 5 \r\n";
        }
        QByteArray outOfRange = unusualPreset();
        outOfRange.replace(" 70 \r\n", " 300 \r\n");
        const QString files[] = {dir_.filePath("missing.lcf"),
                                 writeFile(dir_, "short.lcf", shortFile),
                                 writeFile(dir_, "text.lcf", "hello\r\n"),
                                 writeFile(dir_, "range.lcf", outOfRange), dir_.path()};
        for (const QString& path : files) {
            rig_ = std::make_unique<WindowRig>();
            window().commands().load({});
            window().Slider3[4]->setValue(9);
            const SharedState before = rig_->state;
            dialogs().openPath = path;
            window().mnuOpen->trigger();
            expectOneCriticalError(QStringLiteral("Ошибка открытия файла\r") + path +
                                   QStringLiteral("\rВозможно файл не существует"));
            QVERIFY(rig_->state == before);
            QCOMPARE(window().windowTitle(), kInitialCaption);
            QCOMPARE(window().Label6[4]->text(), QStringLiteral("15%"));
        }
    }

    void saveWritesTheSettingsAndSetsTheCaption() {
        window().commands().load({});
        window().Slider4[3]->setValue(11);
        window().mnuLine->trigger();
        dialogs().savePath = dir_.filePath("saved.lcf");
        window().mnuSave->trigger();
        QVERIFY(dialogs().messages.empty());
        QCOMPARE(dialogs().filters, QStringList{QStringLiteral("Предустановки (*.lcf)")});
        QCOMPARE(window().windowTitle(), QStringLiteral("КАЛИНДОР ") + dialogs().savePath);

        SharedState reread{};
        applyStartupDefaults(reread);
        QVERIFY(loadPreset(dialogs().savePath.toStdString(), reread));
        QCOMPARE(reread.GainPosition[3], std::int16_t{11});
        QVERIFY(!reread.XScaleLog);
    }

    void saveCancelledAndSaveErrors() {
        window().commands().load({});
        dialogs().savePath.clear();
        window().mnuSave->trigger();
        QVERIFY(dialogs().messages.empty());
        QCOMPARE(window().windowTitle(), kInitialCaption);

        const QString badPath = dir_.filePath("no-such-folder/x.lcf");
        dialogs().savePath = badPath;
        window().mnuSave->trigger();
        expectOneCriticalError(QStringLiteral("Ошибка создания файла\r") + badPath +
                               QStringLiteral("\rВозможно он занят другим приложением"));
        QCOMPARE(window().windowTitle(), kInitialCaption);
    }

    void resetNoChangesNothing() {
        window().commands().load({});
        window().mnuLine->trigger();
        window().Slider3[0]->setValue(1);
        const SharedState before = rig_->state;
        dialogs().answerYes = false;
        window().mnuReset->trigger();
        QCOMPARE(dialogs().questions.size(), std::size_t{1});
        QCOMPARE(dialogs().questions[0].text,
                 QStringLiteral("Вы действительно хотите сбросить установки?"));
        QCOMPARE(dialogs().questions[0].title, QStringLiteral("Сброс настроек"));
        QVERIFY(rig_->state == before);
        QCOMPARE(window().Label6[0]->text(), QStringLiteral("95%"));
        QVERIFY(window().mnuLine->isChecked());
    }

    void resetYesRestoresTheDefaultsItOwns() {
        window().commands().load({});
        dialogs().openPath = writeFile(dir_, "unusual.lcf", unusualPreset());
        window().mnuOpen->trigger();
        const QString caption = window().windowTitle();
        dialogs().answerYes = true;
        window().mnuReset->trigger();
        for (int ch = 0; ch < kChannelCount; ++ch) {
            QCOMPARE(window().Label6[ch]->text(), QStringLiteral("55%"));
            QCOMPARE(window().Label8[ch]->text(), QStringLiteral("100%"));
            QCOMPARE(window().Slider3[ch]->value(), 5);
            QCOMPARE(window().Slider4[ch]->value(), 31);
            QCOMPARE(rig_->state.ChannelFrequency[ch], std::int16_t((ch + 1) * (ch + 1)));
        }
        QVERIFY(window().mnuLog->isChecked() && !window().mnuLine->isChecked());
        QVERIFY(window().mnuLogY->isChecked() && !window().mnuLineY->isChecked());
        QVERIFY(window().mnuPoligon->isChecked() && !window().mnuGistogramm->isChecked());
        QCOMPARE(window().Slider2->value(), 5);
        QCOMPARE(rig_->state.AgcSpeed, std::int16_t{5000});
        QCOMPARE(rig_->state.PortAddress, std::int16_t{888});
        // Left alone: scan speed, AGC switch, noise filter, caption.
        QCOMPARE(window().Slider1->value(), 70);
        QCOMPARE(window().Label1->text(), QStringLiteral("70ms"));
        QVERIFY(window().Check1->isChecked());
        QVERIFY(rig_->state.AgcEnabled);
        QCOMPARE(rig_->state.NoiseFilterPosition, std::int16_t{80});
        QCOMPARE(window().windowTitle(), caption);
    }

    void commandLineWithoutPreset() {
        window().commands().load({});
        QVERIFY(dialogs().messages.empty());
        QVERIFY(!window().commands().Running);
        QCOMPARE(window().windowTitle(), kInitialCaption);
        QCOMPARE(callCount(rig_->input, kalindor::test::FakeSoundInput::Call::kOpen), 0);
    }

    void commandLinePresetAndStart_data() {
        QTest::addColumn<QString>("blank");
        QTest::newRow("space") << QStringLiteral(" ");
        QTest::newRow("tab") << QStringLiteral("\t");
    }

    void commandLinePresetAndStart() {
        QFETCH(QString, blank);
        const QString path = writeFile(dir_, "x.lcf", unusualPreset());
        window().commands().load(parseCommandLine((path + blank + "start").toStdString()));
        QVERIFY(dialogs().messages.empty());
        expectUnusualControls();
        // The caption shows the text before "start", blank included.
        QCOMPARE(window().windowTitle(), QStringLiteral("КАЛИНДОР ") + path + blank);
        QVERIFY(window().commands().Running);
        QCOMPARE(window().Command1->text(), QStringLiteral("Стоп"));
        QVERIFY(window().engine().timer1().enabled());
        QVERIFY(window().isVisible());
        QVERIFY(window().form2() == nullptr);
    }

    void commandLineStartAndHide() {
        const QString path = writeFile(dir_, "x.lcf", unusualPreset());
        window().commands().load(parseCommandLine((path + "starth").toStdString()));
        QVERIFY(dialogs().messages.empty());
        QCOMPARE(window().windowTitle(), QStringLiteral("КАЛИНДОР ") + path);
        QVERIFY(window().commands().Running);
        QVERIFY(window().isHidden());
        QVERIFY(window().engine().timer1().enabled());
    }

    void commandLineSuffixInCapitals() {
        const QString path = writeFile(dir_, "x.lcf", unusualPreset());
        window().commands().load(parseCommandLine((path + "STARTH").toStdString()));
        QVERIFY(dialogs().messages.empty());
        QVERIFY(window().commands().Running);
        QVERIFY(window().isHidden());
    }

    // A trailing "h" without "start" is part of the path: loaded, not started, not hidden.
    void commandLineTrailingHWithoutStart() {
        const QString path = writeFile(dir_, "presh", unusualPreset());
        window().commands().load(parseCommandLine(path.toStdString()));
        QVERIFY(dialogs().messages.empty());
        QVERIFY(window().commands().HideRequested);
        QVERIFY(!window().commands().StartRequested);
        QVERIFY(!window().commands().Running);
        QVERIFY(window().isVisible());
        QCOMPARE(window().windowTitle(), QStringLiteral("КАЛИНДОР ") + path);
        expectUnusualControls();
    }

    void commandLineMissingPresetWithStart() {
        const QString path = dir_.filePath("missing.lcf");
        window().commands().load(parseCommandLine((path + " starth").toStdString()));
        // Two blanks before the non-negative code; the text before "starth" as it was typed.
        expectOneCriticalError(QStringLiteral("Ошибка открытия файла  53\r") + path +
                               QStringLiteral(" \rВозможно файл не существует"));
        QVERIFY(!window().commands().Running);
        QCOMPARE(callCount(rig_->input, kalindor::test::FakeSoundInput::Call::kOpen), 0);
        QVERIFY(window().isVisible());
        QCOMPARE(window().windowTitle(), kInitialCaption);
        QCOMPARE(window().Command1->text(), QStringLiteral("Пуск"));
        QCOMPARE(window().Label10->text(), QStringLiteral("USB подключен"));
    }

    // The code tells the failures apart: a file too short is not a missing file.
    void commandLineErrorCodeFollowsTheFailure() {
        const QString path = writeFile(dir_, "short.lcf", " 50 \r\n 5 \r\n");
        window().commands().load(parseCommandLine((path + " start").toStdString()));
        QCOMPARE(dialogs().messages.size(), std::size_t{1});
        const QString text = dialogs().messages[0].text;
        QVERIFY(text.startsWith(QStringLiteral("Ошибка открытия файла  ")));
        QVERIFY(!text.startsWith(QStringLiteral("Ошибка открытия файла  53")));
        QVERIFY(!window().commands().Running);
    }

    // A start that cannot open the input does not hide the window it would leave unreachable.
    void commandLineStartWithFailingInputStaysVisible() {
        rig_->input.openFailure = "no such source";
        const QString path = writeFile(dir_, "x.lcf", unusualPreset());
        window().commands().load(parseCommandLine((path + "starth").toStdString()));
        QCOMPARE(dialogs().messages.size(), std::size_t{1});
        QCOMPARE(dialogs().messages[0].title, QStringLiteral("Ошибка в КАЛИНДОР"));
        QVERIFY(!window().commands().Running);
        QVERIFY(window().isVisible());
        QCOMPARE(window().windowTitle(), QStringLiteral("КАЛИНДОР ") + path);
    }
};

QTEST_MAIN(PresetCommandsTest)
#include "PresetCommands_test.moc"
