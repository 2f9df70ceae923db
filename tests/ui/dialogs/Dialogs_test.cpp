#include <QAbstractButton>
#include <QApplication>
#include <QLabel>
#include <QPushButton>
#include <QRadioButton>
#include <QSlider>
#include <QStyle>
#include <QTemporaryDir>
#include <QTest>
#include <memory>

#include "UiTestSupport.h"
#include "ui/dialogs/Form2.h"
#include "ui/dialogs/Form4.h"
#include "ui/dialogs/Form5.h"
#include "ui/dialogs/Form6.h"

using namespace kalindor;
using namespace kalindor::ui;
using namespace kalindor::ui::test;

namespace {

// Where a control's caption text is drawn, in its parent's coordinates: labels from their
// contents rectangle (wrapped or not), buttons as wide as their text and indicator need.
QRect captionArea(const QWidget* control) {
    if (const auto* label = qobject_cast<const QLabel*>(control)) {
        const QRect contents = label->contentsRect();
        const int flags = label->wordWrap() ? Qt::TextWordWrap : 0;
        const QRect text = label->fontMetrics().boundingRect(QRect(0, 0, contents.width(), 1 << 16),
                                                             flags, label->text());
        return QRect(label->mapToParent(contents.topLeft()), text.size());
    }
    if (const auto* button = qobject_cast<const QPushButton*>(control)) {
        // Centred text with the style's margins; the style's minimum button width is no caption.
        const int width = button->fontMetrics().horizontalAdvance(button->text()) +
                          2 * button->style()->pixelMetric(QStyle::PM_ButtonMargin);
        return QRect(button->x() + (button->width() - width) / 2, button->y(), width,
                     button->height());
    }
    return QRect(control->pos(), QSize(control->sizeHint().width(), control->height()));
}

// Every caption of the dialog fits inside its control and its parent and runs into no other
// control; returns what does not, one line each.
QStringList clippedCaptions(const QWidget* dialog) {
    QStringList problems;
    const auto controls = dialog->findChildren<QWidget*>();
    for (const QWidget* control : controls) {
        const bool hasCaption =
            qobject_cast<const QLabel*>(control) || qobject_cast<const QAbstractButton*>(control);
        if (!hasCaption || !control->isVisibleTo(dialog)) {
            continue;
        }
        const QRect caption = captionArea(control);
        const QWidget* parent = control->parentWidget();
        if (!control->geometry().contains(caption)) {
            problems << control->objectName() + QStringLiteral(" clips its caption");
        }
        if (!parent->contentsRect().contains(caption)) {
            problems << control->objectName() + QStringLiteral(" sticks out of its window");
        }
        for (const QWidget* sibling : parent->findChildren<QWidget*>(Qt::FindDirectChildrenOnly)) {
            // The design itself lets a few controls share one pixel column (15 twips).
            const QRect shared = sibling->geometry().intersected(caption);
            if (sibling != control && sibling->isVisibleTo(dialog) && shared.width() > 1 &&
                shared.height() > 1) {
                problems << control->objectName() + QStringLiteral(" runs into ") +
                                sibling->objectName();
            }
        }
    }
    return problems;
}

}  // namespace

class DialogsTest : public QObject {
    Q_OBJECT

  private:
    std::unique_ptr<WindowRig> rig_;
    Form1& window() { return rig_->window; }

  private slots:
    void init() {
        rig_ = std::make_unique<WindowRig>();
        window().commands().load({});
    }
    void cleanup() { rig_.reset(); }

    void frequencyDialogShowsTheChannelFrequencies() {
        QVERIFY(window().form2() == nullptr);
        window().mnuFrequence->trigger();
        Form2* dialog = window().form2();
        QVERIFY(dialog != nullptr);
        QVERIFY(dialog->isVisible());
        QVERIFY(!dialog->isModal());
        QCOMPARE(dialog->windowTitle(), QStringLiteral("Настройки частоты"));
        const QStringList expected{"62.5 Гц",   "250 Гц",  "562.5 Гц",  "1000 Гц",
                                   "1562.5 Гц", "2250 Гц", "3062.5 Гц", "4000 Гц"};
        for (int ch = 0; ch < kChannelCount; ++ch) {
            QCOMPARE(dialog->Label1[ch]->text(), QString::number(ch + 1));
            QCOMPARE(dialog->Label2[ch]->text(), expected[ch]);
            QCOMPARE(dialog->Slider1[ch]->value(), (ch + 1) * (ch + 1));
        }

        dialog->Slider1[2]->triggerAction(QAbstractSlider::SliderToMaximum);
        QCOMPARE(dialog->Label2[2]->text(), QStringLiteral("15937.5 Гц"));
        QCOMPARE(rig_->state.ChannelFrequency[2], std::int16_t{255});
        dialog->Slider1[0]->triggerAction(QAbstractSlider::SliderToMinimum);
        QCOMPARE(dialog->Label2[0]->text(), QStringLiteral("62.5 Гц"));
        QCOMPARE(rig_->state.ChannelFrequency[0], std::int16_t{1});
    }

    // "Закрыть" only hides; the next show is the same window, filled from the state again.
    void dialogsAreKeptAndRefilledOnEveryShow() {
        window().mnuFrequence->trigger();
        window().mnuNoiseFilter->trigger();
        window().mnuARUSpeed->trigger();
        Form2* form2 = window().form2();
        Form4* form4 = window().form4();
        Form5* form5 = window().form5();
        form2->Command1->click();
        form4->Command1->click();
        form5->Command1->click();
        QVERIFY(!form2->isVisible() && !form4->isVisible() && !form5->isVisible());

        rig_->state.ChannelFrequency[5] = 200;  // as a preset read while hidden would
        rig_->state.NoiseFilterLevel = 25.5f;
        rig_->state.AgcSpeed = 9000;
        window().mnuFrequence->trigger();
        window().mnuNoiseFilter->trigger();
        window().mnuARUSpeed->trigger();
        QCOMPARE(window().form2(), form2);
        QCOMPARE(window().form4(), form4);
        QCOMPARE(window().form5(), form5);
        QCOMPARE(form2->Slider1[5]->value(), 200);
        QCOMPARE(form2->Label2[5]->text(), QStringLiteral("12500 Гц"));
        QCOMPARE(form4->Slider1[0]->value(), 90);
        QCOMPARE(form4->Label1[0]->text(), QStringLiteral("10%"));
        QCOMPARE(form5->Slider1->value(), 9000);
        QCOMPARE(form5->Label3->text(), QStringLiteral("9000"));

        // The close box has the same visible effect as "Закрыть".
        form5->close();
        QVERIFY(!form5->isVisible());
        window().mnuARUSpeed->trigger();
        QCOMPARE(window().form5(), form5);
        QVERIFY(form5->isVisible());
    }

    void noiseFilterDialog() {
        window().mnuNoiseFilter->trigger();
        Form4* dialog = window().form4();
        QCOMPARE(dialog->windowTitle(), QStringLiteral("Настройки фильтра шума"));
        QCOMPARE(dialog->Slider1[0]->value(), 100);
        QCOMPARE(dialog->Label1[0]->text(), QStringLiteral("Выкл"));
        dialog->Slider1[0]->setValue(99);
        QCOMPARE(dialog->Label1[0]->text(), QStringLiteral("1%"));
        QCOMPARE(rig_->state.NoiseFilterLevel, 2.55f);
        dialog->Slider1[0]->triggerAction(QAbstractSlider::SliderToMinimum);
        QCOMPARE(dialog->Label1[0]->text(), QStringLiteral("50%"));
        QCOMPARE(rig_->state.NoiseFilterLevel, 127.5f);
        dialog->Slider1[0]->triggerAction(QAbstractSlider::SliderToMaximum);
        QCOMPARE(dialog->Label1[0]->text(), QStringLiteral("Выкл"));
        QCOMPARE(rig_->state.NoiseFilterLevel, 0.0f);
    }

    void agcSpeedDialog() {
        window().mnuARUSpeed->trigger();
        Form5* dialog = window().form5();
        QCOMPARE(dialog->windowTitle(), QStringLiteral("Скорость АРУ"));
        QCOMPARE(dialog->Label1->text(), QStringLiteral("Больше"));
        QCOMPARE(dialog->Label2->text(), QStringLiteral("Меньше"));
        QCOMPARE(dialog->Label3->text(), QStringLiteral("5000"));
        QCOMPARE(dialog->Slider1->value(), 5000);
        QCOMPARE(dialog->Slider1->singleStep(), 100);
        dialog->Slider1->triggerAction(QAbstractSlider::SliderSingleStepAdd);
        QCOMPARE(rig_->state.AgcSpeed, std::int16_t{5100});
        QCOMPARE(dialog->Label3->text(), QStringLiteral("5100"));
    }

    // A preset may store any 16-bit AGC speed: the slider shows it clamped, Label3 shows the
    // number itself, and nothing is written back.
    void agcSpeedOutsideTheSliderRange() {
        const std::int16_t values[] = {20000, -5, 0};
        for (const std::int16_t value : values) {
            rig_->state.AgcSpeed = value;
            window().mnuARUSpeed->trigger();
            Form5* dialog = window().form5();
            QCOMPARE(dialog->Label3->text(), QString::number(value));
            QCOMPARE(dialog->Slider1->value(), value > 10000 ? 10000 : 1000);
            QCOMPARE(rig_->state.AgcSpeed, value);
            dialog->Command1->click();
        }
    }

    void visibleDialogsRefreshOnResetAndPresetLoad() {
        window().mnuFrequence->trigger();
        window().mnuARUSpeed->trigger();
        window().mnuNoiseFilter->trigger();
        window().form2()->Slider1[1]->setValue(77);
        window().form5()->Slider1->setValue(8000);

        rig_->dialogs.answerYes = true;
        window().mnuReset->trigger();
        QCOMPARE(window().form2()->Slider1[1]->value(), 4);
        QCOMPARE(window().form2()->Label2[1]->text(), QStringLiteral("250 Гц"));
        QCOMPARE(window().form5()->Label3->text(), QStringLiteral("5000"));
        QCOMPARE(window().form5()->Slider1->value(), 5000);

        QTemporaryDir dir;
        rig_->dialogs.openPath = writeFile(dir, "unusual.lcf", unusualPreset());
        window().mnuOpen->trigger();
        QVERIFY(rig_->dialogs.messages.empty());
        QCOMPARE(window().form2()->Slider1[7]->value(), 107);
        QCOMPARE(window().form2()->Label2[7]->text(), QStringLiteral("6687.5 Гц"));
        QCOMPARE(window().form4()->Slider1[0]->value(), 80);
        QCOMPARE(window().form4()->Label1[0]->text(), QStringLiteral("20%"));
        QCOMPARE(window().form5()->Label3->text(), QStringLiteral("7000"));
    }

    // The captions are wider in today's fonts than the design widths; each must still be read
    // in full, and the controls stay at their design places.
    void everyDialogCaptionIsFullyVisible() {
        window().mnuFrequence->trigger();
        window().mnuNoiseFilter->trigger();
        window().mnuARUSpeed->trigger();
        window().mnuAutomatic->trigger();
        const QList<QWidget*> dialogs{window().form2(), window().form4(), window().form5(),
                                      window().form6()};
        for (QWidget* dialog : dialogs) {
            const QStringList problems = clippedCaptions(dialog);
            QVERIFY2(problems.isEmpty(),
                     qPrintable(dialog->objectName() + ": " + problems.join(QStringLiteral("; "))));
        }
        Form6* effects = window().form6();
        QCOMPARE(effects->Label1->pos(), QPoint(0, 8));
        QCOMPARE(effects->Label1->text(), QStringLiteral("Если нет сигнала"));
        QCOMPARE(effects->Label4->pos(), QPoint(40, 32));
        for (int i = 0; i < 2; ++i) {
            QCOMPARE(effects->Option1[i]->pos(), QPoint(280, 24 * i));
        }
        for (int i = 0; i < 3; ++i) {
            QCOMPARE(effects->Option2[i]->pos(), QPoint(152, 24 + 32 * i));
        }
        QCOMPARE(effects->Option2[0]->text(), QStringLiteral("Бегущий огонь"));
        QCOMPARE(window().form5()->Label2->pos(), QPoint(168, 16));
    }

    void effectsDialogFirstOpening() {
        window().mnuAutomatic->trigger();
        Form6* dialog = window().form6();
        QVERIFY(dialog != nullptr && dialog->isVisible());
        QCOMPARE(dialog->windowTitle(), QStringLiteral("Настройки автомата световых эффектов"));
        QCOMPARE(dialog->windowModality(), Qt::ApplicationModal);
        QCOMPARE(QApplication::activeModalWidget(), dialog);
        QCOMPARE(dialog->Slider1->value(), 1);
        QCOMPARE(dialog->Label2->text(), QStringLiteral("1"));
        QVERIFY(dialog->Option1[1]->isChecked() && !dialog->Option1[0]->isChecked());
        QCOMPARE(dialog->Option1[0]->text(), QStringLiteral("Ничего не делать"));
        QVERIFY(dialog->Option2[0]->isChecked());
        QCOMPARE(dialog->Option2[2]->text(), QStringLiteral("Произвольно"));
        QCOMPARE(dialog->Slider2->value(), 10);
        dialog->close();
        QVERIFY(QApplication::activeModalWidget() == nullptr);
    }

    void otherDialogsLeaveTheMainWindowUsable() {
        window().mnuFrequence->trigger();
        window().mnuNoiseFilter->trigger();
        window().mnuARUSpeed->trigger();
        QVERIFY(QApplication::activeModalWidget() == nullptr);
        QCOMPARE(window().form2()->windowModality(), Qt::NonModal);
    }

    void effectsDialogChangesApplyAtOnce() {
        window().mnuAutomatic->trigger();
        Form6* dialog = window().form6();
        dialog->Slider1->triggerAction(QAbstractSlider::SliderToMaximum);
        QCOMPARE(rig_->state.NoSignalSeconds, std::int16_t{10});
        QCOMPARE(dialog->Label2->text(), QStringLiteral("10"));
        QCOMPARE(window().engine().timer2().interval(), 10000);
        QVERIFY(!window().engine().timer2().enabled());  // capture is stopped

        dialog->Slider2->setValue(3);
        QCOMPARE(rig_->state.EffectIntervalMs, 300);
        QCOMPARE(window().engine().timer3().interval(), 300);
        QVERIFY(!window().engine().timer3().enabled());

        dialog->Option1[0]->click();
        QVERIFY(rig_->state.AutomatonDisabled);
        dialog->Option1[1]->click();
        QVERIFY(!rig_->state.AutomatonDisabled);
        dialog->Option2[1]->click();
        QCOMPARE(rig_->state.EffectKind, std::int16_t{1});
        dialog->Option2[2]->click();
        QCOMPARE(rig_->state.EffectKind, std::int16_t{2});
        dialog->close();

        // Each opening loads the controls again: the random effect shows the choice it made.
        rig_->state.EffectKind = kRunningWave;
        rig_->state.AutomatonDisabled = true;
        rig_->state.EffectIntervalMs = 500;
        window().mnuAutomatic->trigger();
        QCOMPARE(window().form6(), dialog);
        QVERIFY(dialog->Option2[1]->isChecked());
        QVERIFY(dialog->Option1[0]->isChecked() && !dialog->Option1[1]->isChecked());
        QCOMPARE(dialog->Slider2->value(), 5);
        QCOMPARE(dialog->Slider1->value(), 10);
        QCOMPARE(rig_->state.EffectIntervalMs, 500);  // filling writes nothing
    }

    void noSignalSecondsSetTheRunningTimer2() {
        window().Command1->click();
        QVERIFY(window().engine().timer2().enabled());
        QCOMPARE(window().engine().timer2().interval(), 1000);
        window().mnuAutomatic->trigger();
        window().form6()->Slider1->setValue(4);
        QCOMPARE(window().engine().timer2().interval(), 4000);
        QVERIFY(window().engine().timer2().enabled());
        window().form6()->close();
    }
};

QTEST_MAIN(DialogsTest)
#include "Dialogs_test.moc"
