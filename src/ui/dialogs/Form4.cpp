// SPDX-License-Identifier: GPL-3.0-or-later
#include "ui/dialogs/Form4.h"

#include <QLabel>
#include <QPushButton>
#include <QSignalBlocker>
#include <QSlider>

#include "core/ControlUpdates.h"
#include "ui/widgets/Controls.h"
#include "ui/widgets/Twips.h"

namespace kalindor::ui {

Form4::Form4(SharedState& state, QWidget* parent) : QDialog(parent), state_(state) {
    setUpDialog(*this, QStringLiteral("Form4"), QStringLiteral("Настройки фильтра шума"));
    setFixedSize(twipsToPixels(2970), twipsToPixels(1200));

    Slider1[0] = new QSlider(Qt::Horizontal, this);
    Slider1[0]->setObjectName(QStringLiteral("Slider1_0"));
    Slider1[0]->setGeometry(twipsRect(120, 120, 2175, 375));
    const SettingInfo& filter = settingInfo(Setting::kNoiseFilter);
    Slider1[0]->setRange(filter.low, filter.high);
    Slider1[0]->setSingleStep(filter.step);
    Slider1[0]->setPageStep(filter.step);
    Slider1[0]->setValue(defaultPosition(Setting::kNoiseFilter));

    Label1[0] = new QLabel(this);
    Label1[0]->setObjectName(QStringLiteral("Label1_0"));
    Label1[0]->setGeometry(twipsRect(2400, 120, 495, 255));

    Command1 = new QPushButton(QStringLiteral("Закрыть"), this);
    Command1->setObjectName(QStringLiteral("Command1"));
    Command1->setGeometry(twipsRect(720, 720, 1095, 375));
    Command1->setAutoDefault(false);

    connect(Slider1[0], &QSlider::valueChanged, this, &Form4::filterChanged);
    connect(Command1, &QPushButton::clicked, this, &QWidget::hide);
}

void Form4::fill() {
    const int position = noiseFilterPositionForLevel(state_.NoiseFilterLevel);
    {
        const QSignalBlocker blocker(Slider1[0]);
        Slider1[0]->setValue(position);
    }
    Label1[0]->setText(QString::fromStdString(noiseFilterLabel(position)));
}

void Form4::filterChanged(int position) {
    Label1[0]->setText(QString::fromStdString(setNoiseFilter(state_, position)));
}

}  // namespace kalindor::ui
