// SPDX-License-Identifier: GPL-3.0-or-later
#include "ui/widgets/Controls.h"

#include <QFont>

#include "ui/widgets/Twips.h"

namespace kalindor::ui {

void setUpDialog(QDialog& dialog, const QString& name, const QString& title) {
    dialog.setObjectName(name);
    dialog.setWindowTitle(title);
    dialog.setWindowFlags(Qt::Dialog | Qt::MSWindowsFixedSizeDialogHint | Qt::WindowTitleHint |
                          Qt::WindowCloseButtonHint);
    QFont font = dialog.font();
    font.setPixelSize(kFontPixelSize);
    dialog.setFont(font);
}

QLabel* makeLabel(QWidget* parent, const QString& name, const QString& text, QRect geometry) {
    auto* label = new QLabel(text, parent);
    label->setObjectName(name);
    label->setGeometry(geometry);
    label->setWordWrap(true);
    return label;
}

QSlider* makeSettingSlider(QWidget* parent, const QString& name, Qt::Orientation orientation,
                           QRect geometry, Setting setting, std::optional<int> value) {
    const SettingInfo& info = settingInfo(setting);
    auto* slider = new QSlider(orientation, parent);
    slider->setObjectName(name);
    slider->setGeometry(geometry);
    slider->setRange(info.low, info.high);
    slider->setSingleStep(info.step);
    slider->setPageStep(info.step);
    if (orientation == Qt::Vertical) {
        slider->setInvertedAppearance(true);
        slider->setInvertedControls(true);
    }
    if (value) {
        slider->setValue(*value);
    }
    return slider;
}

}  // namespace kalindor::ui
