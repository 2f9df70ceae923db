#include <QAction>
#include <QCheckBox>
#include <QLabel>
#include <QMenu>
#include <QMenuBar>
#include <QPushButton>
#include <QSignalSpy>
#include <QSlider>
#include <QTest>
#include <memory>

#include "UiTestSupport.h"
#include "ui/widgets/SpectrumView.h"

using namespace kalindor;
using namespace kalindor::ui;
using namespace kalindor::ui::test;

class Form1Test : public QObject {
    Q_OBJECT

  private:
    std::unique_ptr<WindowRig> rig_;
    Form1& window() { return rig_->window; }

  private slots:
    void init() { rig_ = std::make_unique<WindowRig>(); }
    void cleanup() { rig_.reset(); }

    void startupShowsTheDefaults() {
        window().commands().load({});
        QVERIFY(window().isVisible());
        QCOMPARE(window().windowTitle(), QStringLiteral("КАЛИНДОР    USB"));
        QCOMPARE(window().Command1->text(), QStringLiteral("Пуск"));
        QVERIFY(!window().commands().Running);
        QVERIFY(!window().commands().StartRequested);
        QCOMPARE(callCount(rig_->input, kalindor::test::FakeSoundInput::Call::kOpen), 0);
        QCOMPARE(window().Label1->text(), QStringLiteral("50ms"));
        QCOMPARE(window().Slider1->value(), 50);
        QCOMPARE(window().Slider2->value(), 5);
        QCOMPARE(window().Label3->text().at(0), QChar(u'C'));  // Latin C
        QCOMPARE(window().Label10->text(), QStringLiteral("USB подключен"));
        QVERIFY(!window().Check1->isChecked());
        QCOMPARE(window().Check1->text(), QStringLiteral("Авторегулировка      уровня"));
        for (int ch = 0; ch < kChannelCount; ++ch) {
            QCOMPARE(window().Label6[ch]->text(), QStringLiteral("55%"));
            QCOMPARE(window().Label8[ch]->text(), QStringLiteral("100%"));
            QCOMPARE(window().Slider3[ch]->value(), 5);
            QCOMPARE(window().Slider4[ch]->value(), 31);
            QCOMPARE(rig_->state.ChannelThreshold[ch], 0.55f);
            QCOMPARE(rig_->state.ChannelGain[ch], 1.0f);
            QCOMPARE(window().Label5[ch]->text(), QString::number(ch + 1));
            QCOMPARE(window().ProgressBar1[ch]->value(), 0);
            QCOMPARE(window().Picture2[ch]->palette().color(QPalette::Window), QColor(Qt::black));
        }
        QVERIFY(window().mnuLog->isChecked() && !window().mnuLine->isChecked());
        QVERIFY(window().mnuLogY->isChecked() && !window().mnuLineY->isChecked());
        QVERIFY(window().mnuPoligon->isChecked() && !window().mnuGistogramm->isChecked());
        QVERIFY(window().Command2->isHidden());
        QVERIFY(!window().Command2->isEnabled());
        QVERIFY(!window().engine().timer1().enabled());
        QCOMPARE(window().engine().timer1().interval(), 50);
    }

    void startupReportsAnAbsentDevice() {
        rig_->device.connected = false;
        window().commands().load({});
        QCOMPARE(window().Label10->text(), QStringLiteral("USB НЕ подключен"));
    }

    void windowHasItsDesignSizeAndPositions() {
        window().commands().load({});
        QCOMPARE(window().centralWidget()->size(), QSize(623, 376));
        const QSize before = window().size();
        window().resize(before + QSize(200, 150));
        QCOMPARE(window().size(), before);
        QVERIFY(window().windowFlags() & Qt::WindowMinimizeButtonHint);
        QVERIFY(!(window().windowFlags() & Qt::WindowMaximizeButtonHint));

        QCOMPARE(window().Picture1->geometry(), QRect(8, 80, 273, 257));
        QCOMPARE(window().Slider1->geometry(), QRect(96, 0, 137, 25));
        QCOMPARE(window().Command1->geometry(), QRect(240, 24, 41, 25));
        QCOMPARE(window().Check1->geometry(), QRect(184, 344, 113, 25));
        QCOMPARE(window().Picture2[7]->geometry(), QRect(584, 24, 17, 17));
        QCOMPARE(window().ProgressBar1[3]->geometry(), QRect(424, 72, 17, 105));
        QCOMPARE(window().Slider3[0]->geometry(), QRect(304, 216, 25, 65));
        QCOMPARE(window().Slider4[7]->geometry(), QRect(584, 312, 25, 65));
        QCOMPARE(window().ProgressBar1[0]->orientation(), Qt::Vertical);
        QCOMPARE(window().ProgressBar1[0]->maximum(), 255);
        QCOMPARE(window().Slider3[0]->orientation(), Qt::Vertical);
        QCOMPARE(window().Slider1->orientation(), Qt::Horizontal);
        QCOMPARE(window().findChild<QSlider*>(QStringLiteral("Slider4_6")), window().Slider4[6]);
    }

    // The vertical sliders have their minimum at the top: the up arrow lowers the position.
    void verticalSlidersHaveTheirMinimumAtTheTop() {
        window().commands().load({});
        QVERIFY(window().Slider3[0]->invertedAppearance());
        window().Slider3[0]->setFocus();
        QTest::keyClick(window().Slider3[0], Qt::Key_Up);
        QCOMPARE(window().Slider3[0]->value(), 4);
        QCOMPARE(window().Label6[0]->text(), QStringLiteral("65%"));
        QTest::keyClick(window().Slider4[0], Qt::Key_Up);
        QCOMPARE(window().Slider4[0]->value(), 30);
        QCOMPARE(window().Label8[0]->text(), QStringLiteral("110%"));
    }

    void slidersAtTheirEnds() {
        window().commands().load({});
        window().Slider3[2]->triggerAction(QAbstractSlider::SliderToMinimum);
        QCOMPARE(rig_->state.ChannelThreshold[2], 0.95f);
        QCOMPARE(window().Label6[2]->text(), QStringLiteral("95%"));
        window().Slider3[2]->triggerAction(QAbstractSlider::SliderToMaximum);
        QCOMPARE(rig_->state.ChannelThreshold[2], 0.05f);
        QCOMPARE(window().Label6[2]->text(), QStringLiteral("5%"));
        QCOMPARE(window().Label6[1]->text(), QStringLiteral("55%"));

        window().Slider4[7]->triggerAction(QAbstractSlider::SliderToMinimum);
        QCOMPARE(rig_->state.ChannelGain[7], 4.0f);
        QCOMPARE(window().Label8[7]->text(), QStringLiteral("400%"));
        window().Slider4[7]->triggerAction(QAbstractSlider::SliderToMaximum);
        QCOMPARE(rig_->state.ChannelGain[7], 0.1f);
        QCOMPARE(window().Label8[7]->text(), QStringLiteral("10%"));

        window().Slider1->triggerAction(QAbstractSlider::SliderToMinimum);
        QCOMPARE(window().Label1->text(), QStringLiteral("30ms"));
        QCOMPARE(window().engine().timer1().interval(), 30);
        window().Slider1->triggerAction(QAbstractSlider::SliderToMaximum);
        QCOMPARE(window().Label1->text(), QStringLiteral("100ms"));
        QCOMPARE(window().engine().timer1().interval(), 100);

        window().Slider2->triggerAction(QAbstractSlider::SliderToMinimum);
        QCOMPARE(rig_->state.DecaySpeed, std::int16_t{1});
        window().Slider2->triggerAction(QAbstractSlider::SliderToMaximum);
        QCOMPARE(rig_->state.DecaySpeed, std::int16_t{10});
    }

    void scanSpeedChangesTheRunningCaptureTimer() {
        window().commands().load({});
        window().Command1->click();
        QVERIFY(window().engine().timer1().enabled());
        window().Slider1->setValue(30);
        QCOMPARE(window().engine().timer1().interval(), 30);
        QVERIFY(window().engine().timer1().enabled());
    }

    void displayMenusKeepOneCheckPerPair() {
        window().commands().load({});
        struct Pair {
            QAction* on;
            QAction* off;
            bool SharedState::*value;
        };
        const Pair pairs[] = {
            {window().mnuLog, window().mnuLine, &SharedState::XScaleLog},
            {window().mnuLogY, window().mnuLineY, &SharedState::YScaleLog},
            {window().mnuPoligon, window().mnuGistogramm, &SharedState::GraphPolygon}};
        for (const Pair& pair : pairs) {
            pair.off->trigger();
            QVERIFY(!(rig_->state.*pair.value));
            QVERIFY(pair.off->isChecked() && !pair.on->isChecked());
            pair.off->trigger();  // choosing the checked item again keeps it
            QVERIFY(!(rig_->state.*pair.value));
            QVERIFY(pair.off->isChecked() && !pair.on->isChecked());
            pair.on->trigger();
            QVERIFY(rig_->state.*pair.value);
            QVERIFY(pair.on->isChecked() && !pair.off->isChecked());
            pair.on->trigger();
            QVERIFY(rig_->state.*pair.value);
            QVERIFY(pair.on->isChecked());
        }
    }

    void menuTreeHasItsCaptions() {
        const QList<QAction*> top = window().menuBar()->actions();
        QCOMPARE(top.size(), 4);
        QCOMPARE(top[0]->text(), QStringLiteral("Файл"));
        QCOMPARE(top[1]->text(), QStringLiteral("Настройки"));
        QCOMPARE(top[2]->text(), QStringLiteral("Вид"));
        QCOMPARE(top[3]->text(), QStringLiteral("Помощь"));
        QStringList options;
        for (QAction* action : window().mnuOptions->actions()) {
            options << action->text();
        }
        QCOMPARE(options, QStringList({"Частоты", "Порты", "Эффекты", "Фильтр шума", "Скорость АРУ",
                                       "Сбросить установки"}));
        QStringList graph;
        for (QAction* action : window().mnuGrafik->actions()) {
            graph << action->text();
        }
        QCOMPARE(graph, QStringList({"Шкала X", "Шкала Y", "Тип Графика"}));
        QVERIFY(window().mnuAppereance->actions().contains(window().mnuGrafik->menuAction()));
        QCOMPARE(window().mnuGistogramm->text(), QStringLiteral("Гистограмма"));
        QCOMPARE(window().mnuAbout->text(), QStringLiteral("О программе"));
    }

    void checkBoxDrivesAgc() {
        window().commands().load({});
        window().Check1->click();
        QVERIFY(rig_->state.AgcEnabled);
        window().Check1->click();
        QVERIFY(!rig_->state.AgcEnabled);
    }

    void portsShowsOnlyItsMessage() {
        window().commands().load({});
        const SharedState before = rig_->state;
        window().mnuPorts->trigger();
        QCOMPARE(rig_->dialogs.messages.size(), std::size_t{1});
        const auto& shown = rig_->dialogs.messages[0];
        QCOMPARE(shown.text, QStringLiteral("Property is not available in USB version"));
        QCOMPARE(shown.title, QStringLiteral("КАЛИНДОР"));
        QVERIFY(shown.icon == UserDialogs::Icon::None);
        QVERIFY(rig_->state == before);
    }

    void aboutKeepsItsFiveLinesAndBlanks() {
        window().mnuAbout->trigger();
        QCOMPARE(rig_->dialogs.messages.size(), std::size_t{1});
        const auto& shown = rig_->dialogs.messages[0];
        QCOMPARE(shown.title, QStringLiteral("О программе КАЛИНДОР"));
        QVERIFY(shown.icon == UserDialogs::Icon::None);
        QVERIFY(!shown.text.contains(QChar(u'\n')));
        const QStringList lines = shown.text.split(QChar(u'\r'));
        QCOMPARE(lines.size(), 5);
        QCOMPARE(lines[0], QStringLiteral("     КАЛИНДОР"));
        QCOMPARE(lines[1], QStringLiteral("      Версия: USB 0.1 Beta"));
        for (const QString& line : lines) {
            QVERIFY(!line.trimmed().isEmpty());
        }
    }

    void closeCommandShutsTheInputThenQuits() {
        window().commands().load({});
        window().Command1->click();
        QVERIFY(rig_->input.isOpen());
        QSignalSpy quit(&window(), &Form1::quitRequested);
        window().mnuClose->trigger();
        QCOMPARE(quit.count(), 1);
        QVERIFY(!rig_->input.isOpen());
        QVERIFY(!window().engine().timer1().enabled());
    }

    void closingTheWindowQuitsAtOnce() {
        window().commands().load({});
        window().Command1->click();
        const int closesBefore =
            callCount(rig_->input, kalindor::test::FakeSoundInput::Call::kClose);
        QSignalSpy quit(&window(), &Form1::quitRequested);
        window().close();
        QCOMPARE(quit.count(), 1);
        QCOMPARE(callCount(rig_->input, kalindor::test::FakeSoundInput::Call::kClose),
                 closesBefore);  // no input call on the way out
    }

    // Renders the window offscreen to a PNG beside the test program, so every run leaves a
    // picture of the window to look at.
    void rendersTheWindowToPng() {
        window().commands().load({});
        const QPixmap picture = window().grab();
        QCOMPARE(picture.size(), window().size());
        QCOMPARE(window().centralWidget()->grab().size(), QSize(623, 376));
        const QString path = QStringLiteral(KALINDOR_UI_OUTPUT_DIR "/Form1.png");
        QVERIFY(picture.save(path));
        QImage reloaded(path);
        QCOMPARE(reloaded.size(), window().size());
        // The graph area is painted black, so the picture is not blank.
        const QPoint graph = window().Picture1->mapTo(&window(), QPoint(100, 100));
        QCOMPARE(reloaded.pixelColor(graph), QColor(Qt::black));
    }
};

QTEST_MAIN(Form1Test)
#include "Form1_test.moc"
