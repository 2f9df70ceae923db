// SPDX-License-Identifier: GPL-3.0-or-later
#include "ui/dialogs/Form2.h"

#include <QLabel>
#include <QPushButton>
#include <QSignalBlocker>
#include <QSlider>

#include "core/ControlUpdates.h"
#include "ui/widgets/CaptionFit.h"
#include "ui/widgets/Controls.h"
#include "ui/widgets/Twips.h"

namespace kalindor::ui {

namespace {

constexpr int kRowTwips = 360;

}  // namespace

Form2::Form2(SharedState& state, QWidget* parent) : QDialog(parent), state_(state) {
    setUpDialog(*this, QStringLiteral("Form2"), QStringLiteral("Настройки частоты"));
    setFixedSize(twipsToPixels(5610), twipsToPixels(3480));

    const SettingInfo& frequency = settingInfo(Setting::kFrequency);
    for (int ch = 0; ch < kChannelCount; ++ch) {
        const int top = 120 + kRowTwips * ch;
        const QString suffix = QStringLiteral("_%1").arg(ch);

        Label1[ch] = new QLabel(QString::number(ch + 1), this);
        Label1[ch]->setObjectName(QStringLiteral("Label1") + suffix);
        Label1[ch]->setGeometry(twipsRect(120, top, 495, 255));

        Slider1[ch] = new QSlider(Qt::Horizontal, this);
        Slider1[ch]->setObjectName(QStringLiteral("Slider1") + suffix);
        Slider1[ch]->setGeometry(twipsRect(720, top, 3615, 255));
        Slider1[ch]->setRange(frequency.low, frequency.high);
        Slider1[ch]->setSingleStep(frequency.step);
        Slider1[ch]->setPageStep(frequency.step);

        // Sized for the widest frequency text; fill() sets the real one.
        Label2[ch] = new QLabel(QString::fromStdString(frequencyLabel(frequency.high)), this);
        Label2[ch]->setObjectName(QStringLiteral("Label2") + suffix);
        Label2[ch]->setGeometry(twipsRect(4440, top, 975, 255));
        fitCaption(Label2[ch], width() - Label2[ch]->x());

        connect(Slider1[ch], &QSlider::valueChanged, this,
                [this, ch](int position) { frequencyChanged(ch, position); });
    }

    Command1 = new QPushButton(QStringLiteral("Закрыть"), this);
    Command1->setObjectName(QStringLiteral("Command1"));
    Command1->setGeometry(twipsRect(4440, 3000, 975, 375));
    Command1->setAutoDefault(false);
    connect(Command1, &QPushButton::clicked, this, &QWidget::hide);
}

void Form2::fill() {
    for (int ch = 0; ch < kChannelCount; ++ch) {
        const int position = state_.ChannelFrequency[ch];
        Label1[ch]->setText(QString::number(ch + 1));
        {
            const QSignalBlocker blocker(Slider1[ch]);
            Slider1[ch]->setValue(position);
        }
        // A preset cannot hold a frequency outside 1..255, but the label must match the slider.
        Label2[ch]->setText(QString::fromStdString(frequencyLabel(Slider1[ch]->value())));
    }
}

void Form2::frequencyChanged(int ch, int position) {
    Label2[ch]->setText(QString::fromStdString(setFrequency(state_, ch, position)));
}

}  // namespace kalindor::ui
