// SPDX-License-Identifier: GPL-3.0-or-later
#include "ui/dialogs/Form5.h"

#include <QLabel>
#include <QPushButton>
#include <QSignalBlocker>
#include <QSlider>

#include "core/ControlUpdates.h"
#include "ui/widgets/CaptionFit.h"
#include "ui/widgets/Controls.h"
#include "ui/widgets/Twips.h"

namespace kalindor::ui {

Form5::Form5(SharedState& state, QWidget* parent) : QDialog(parent), state_(state) {
    setUpDialog(*this, QStringLiteral("Form5"), QStringLiteral("Скорость АРУ"));
    setFixedSize(twipsToPixels(3360), twipsToPixels(1185));

    Label1 = new QLabel(QStringLiteral("Больше"), this);
    Label1->setObjectName(QStringLiteral("Label1"));
    Label1->setGeometry(twipsRect(0, 240, 615, 255));

    Slider1 = new QSlider(Qt::Horizontal, this);
    Slider1->setObjectName(QStringLiteral("Slider1"));
    Slider1->setGeometry(twipsRect(720, 120, 1815, 375));
    const SettingInfo& speed = settingInfo(Setting::kAgcSpeed);
    Slider1->setRange(speed.low, speed.high);
    Slider1->setSingleStep(speed.step);
    Slider1->setPageStep(speed.step);
    Slider1->setValue(defaultPosition(Setting::kAgcSpeed));

    Label2 = new QLabel(QStringLiteral("Меньше"), this);
    Label2->setObjectName(QStringLiteral("Label2"));
    Label2->setGeometry(twipsRect(2520, 240, 735, 255));

    Label3 = new QLabel(this);
    Label3->setObjectName(QStringLiteral("Label3"));
    Label3->setGeometry(twipsRect(1080, 600, 855, 255));

    Command1 = new QPushButton(QStringLiteral("Закрыть"), this);
    Command1->setObjectName(QStringLiteral("Command1"));
    Command1->setGeometry(twipsRect(2160, 720, 975, 375));
    Command1->setAutoDefault(false);

    fitCaption(Label1, Slider1->x() - Label1->x());
    fitCaption(Label2, width() - Label2->x());

    connect(Slider1, &QSlider::valueChanged, this, &Form5::speedChanged);
    connect(Command1, &QPushButton::clicked, this, &QWidget::hide);
}

void Form5::fill() {
    Label3->setText(QString::number(state_.AgcSpeed));
    const QSignalBlocker blocker(Slider1);
    Slider1->setValue(state_.AgcSpeed);  // QSlider clamps to 1000..10000
}

void Form5::speedChanged(int value) {
    Label3->setText(QString::fromStdString(setAgcSpeed(state_, value)));
}

}  // namespace kalindor::ui
