// SPDX-License-Identifier: GPL-3.0-or-later
#include "ui/widgets/WrappingCheckBox.h"

#include <QStyleOptionButton>
#include <QStylePainter>

namespace kalindor::ui {

void WrappingCheckBox::paintEvent(QPaintEvent*) {
    QStylePainter painter(this);
    QStyleOptionButton option;
    initStyleOption(&option);
    const QString caption = option.text;
    option.text.clear();
    painter.drawControl(QStyle::CE_CheckBox, option);

    const QRect textArea = style()->subElementRect(QStyle::SE_CheckBoxContents, &option, this);
    painter.setPen(
        palette().color(isEnabled() ? QPalette::Active : QPalette::Disabled, QPalette::WindowText));
    painter.drawText(textArea, Qt::AlignLeft | Qt::AlignVCenter | Qt::TextWordWrap, caption);
}

}  // namespace kalindor::ui
