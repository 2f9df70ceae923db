// SPDX-License-Identifier: GPL-3.0-or-later
#include "ui/widgets/CaptionFit.h"

#include <QFontInfo>
#include <QFontMetrics>
#include <QLabel>
#include <QWidget>
#include <algorithm>
#include <functional>

namespace kalindor::ui {

namespace {

// Shrinks the control's font a pixel at a time until fits() holds or the smallest size is
// reached.
void shrinkUntil(QWidget* control, const std::function<bool()>& fits) {
    QFont font = control->font();
    int pixels = QFontInfo(font).pixelSize();
    while (!fits() && pixels > kMinimumCaptionFontPixelSize) {
        --pixels;
        font.setPixelSize(pixels);
        control->setFont(font);
    }
}

}  // namespace

void fitCaption(QWidget* control, int availableWidthPx) {
    if (auto* label = qobject_cast<QLabel*>(control)) {
        label->setWordWrap(false);
    }
    shrinkUntil(control, [&] { return control->sizeHint().width() <= availableWidthPx; });
    const int needed = std::min(control->sizeHint().width(), availableWidthPx);
    control->resize(std::max(control->width(), needed), control->height());
}

void fitWrappedCaption(QLabel* label, int availableWidthPx) {
    label->setWordWrap(true);
    const int designWidth = label->width();
    const int frame = label->width() - label->contentsRect().width();
    const int textHeight = label->contentsRect().height();
    // Wrapped at blanks only: a word wider than the line sticks out, so the width counts too.
    const auto fitsIn = [&](int width) {
        const QRect needed = label->fontMetrics().boundingRect(QRect(0, 0, width - frame, 1 << 16),
                                                               Qt::TextWordWrap, label->text());
        return needed.width() <= width - frame && needed.height() <= textHeight;
    };
    const auto narrowestFitting = [&]() -> int {
        for (int width = designWidth; width <= availableWidthPx; ++width) {
            if (fitsIn(width)) {
                return width;
            }
        }
        return -1;
    };
    shrinkUntil(label, [&] { return narrowestFitting() >= 0; });
    const int width = narrowestFitting();
    label->resize(width >= 0 ? width : availableWidthPx, label->height());
}

}  // namespace kalindor::ui
