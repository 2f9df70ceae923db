// SPDX-License-Identifier: GPL-3.0-or-later
#include "ui/dialogs/Form6.h"

#include <QGroupBox>
#include <QLabel>
#include <QRadioButton>
#include <QSignalBlocker>
#include <QSlider>
#include <utility>

#include "core/ControlUpdates.h"
#include "ui/widgets/CaptionFit.h"
#include "ui/widgets/Controls.h"
#include "ui/widgets/Twips.h"

namespace kalindor::ui {

Form6::Form6(SharedState& state, std::function<void()> timerPeriodsChanged, QWidget* parent)
    : QDialog(parent), state_(state), timerPeriodsChanged_(std::move(timerPeriodsChanged)) {
    setUpDialog(*this, QStringLiteral("Form6"),
                QStringLiteral("Настройки автомата световых эффектов"));
    // Shown, it blocks the main window's input (show() itself returns at once).
    setWindowModality(Qt::ApplicationModal);
    setFixedSize(twipsToPixels(6090), twipsToPixels(3270));

    Label1 = makeLabel(this, QStringLiteral("Label1"), QStringLiteral("Если нет сигнала"),
                       twipsRect(0, 120, 1335, 255));
    Slider1 = makeSettingSlider(this, QStringLiteral("Slider1"), Qt::Horizontal,
                                twipsRect(1440, 120, 1575, 375), Setting::kNoSignalSeconds);
    Label2 = makeLabel(this, QStringLiteral("Label2"), QString(), twipsRect(3000, 120, 255, 375));
    Label3 = makeLabel(this, QStringLiteral("Label3"), QStringLiteral("секунд, то"),
                       twipsRect(3240, 120, 855, 255));

    const std::array<QString, 2> automatonCaptions{QStringLiteral("Ничего не делать"),
                                                   QStringLiteral("Запустить автомат")};
    for (int i = 0; i < 2; ++i) {
        Option1[i] = new QRadioButton(automatonCaptions[i], this);
        Option1[i]->setObjectName(QStringLiteral("Option1_%1").arg(i));
        Option1[i]->setGeometry(twipsRect(4200, 360 * i, 1815, 375));
        connect(Option1[i], &QRadioButton::clicked, this,
                [this, i] { state_.AutomatonDisabled = (i == 0); });
    }

    Label4 = makeLabel(this, QStringLiteral("Label4"), QStringLiteral("Скорость автомата"),
                       twipsRect(600, 480, 735, 375));
    Slider2 = makeSettingSlider(this, QStringLiteral("Slider2"), Qt::Horizontal,
                                twipsRect(1440, 600, 1575, 375), Setting::kEffectSpeed);

    Frame1 = new QGroupBox(QStringLiteral("Эффекты"), this);
    Frame1->setObjectName(QStringLiteral("Frame1"));
    Frame1->setGeometry(twipsRect(120, 1080, 5895, 2055));
    const std::array<QString, 3> effectCaptions{QStringLiteral("Бегущий огонь"),
                                                QStringLiteral("Бегущая волна"),
                                                QStringLiteral("Произвольно")};
    for (int i = 0; i < 3; ++i) {
        Option2[i] = new QRadioButton(effectCaptions[i], Frame1);
        Option2[i]->setObjectName(QStringLiteral("Option2_%1").arg(i));
        Option2[i]->setGeometry(twipsRect(2280, 360 + 480 * i, 1455, 495));
        connect(Option2[i], &QRadioButton::clicked, this,
                [this, i] { state_.EffectKind = static_cast<std::int16_t>(i); });
    }

    fitCaptions();

    connect(Slider1, &QSlider::valueChanged, this, &Form6::secondsChanged);
    connect(Slider2, &QSlider::valueChanged, this, &Form6::speedChanged);
}

void Form6::fitCaptions() {
    // Each caption may take the room up to the next control to its right (or the edge).
    fitCaption(Label1, Slider1->x() - Label1->x());
    fitCaption(Label3, Option1[0]->x() - Label3->x());
    for (QRadioButton* option : Option1) {
        fitCaption(option, width() - option->x());
    }
    fitWrappedCaption(Label4, Slider2->x() - Label4->x());
    const int frameInside = Frame1->contentsRect().right() + 1;
    for (QRadioButton* option : Option2) {
        fitCaption(option, frameInside - option->x());
    }
}

void Form6::fill() {
    {
        const QSignalBlocker blocker(Slider1);
        Slider1->setValue(state_.NoSignalSeconds);
    }
    Label2->setText(QString::number(Slider1->value()));

    const int effect = state_.EffectKind == kRunningFire   ? 0
                       : state_.EffectKind == kRunningWave ? 1
                                                           : 2;
    Option2[effect]->setChecked(true);

    Option1[state_.AutomatonDisabled ? 0 : 1]->setChecked(true);

    const QSignalBlocker blocker(Slider2);
    Slider2->setValue(effectSpeedForInterval(state_.EffectIntervalMs));
}

void Form6::secondsChanged(int seconds) {
    Label2->setText(QString::fromStdString(setNoSignalSeconds(state_, seconds)));
    timerPeriodsChanged_();
}

void Form6::speedChanged(int tenths) {
    setEffectSpeed(state_, tenths);
    timerPeriodsChanged_();
}

}  // namespace kalindor::ui
