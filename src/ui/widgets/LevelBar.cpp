// SPDX-License-Identifier: GPL-3.0-or-later
#include "ui/widgets/LevelBar.h"

#include <QPaintEvent>
#include <QPainter>
#include <algorithm>

namespace kalindor::ui {

namespace {
constexpr int kFramePx = 1;
}  // namespace

LevelBar::LevelBar(QWidget* parent) : QWidget(parent) {
    // Every pixel is painted here; nothing underneath needs painting first.
    setAttribute(Qt::WA_OpaquePaintEvent);
}

int LevelBar::filledRows(int value, int innerHeight) {
    if (innerHeight <= 0) {
        return 0;
    }
    const int clamped = std::clamp(value, kMinimum, kMaximum);
    return (clamped * innerHeight * 2 + kMaximum) / (kMaximum * 2);
}

int LevelBar::innerHeight() const {
    return std::max(0, height() - 2 * kFramePx);
}

void LevelBar::setValue(int value) {
    const int clamped = std::clamp(value, kMinimum, kMaximum);
    if (clamped == value_) {
        return;
    }
    const int inner = innerHeight();
    const int rowsBefore = filledRows(value_, inner);
    const int rowsAfter = filledRows(clamped, inner);
    value_ = clamped;
    if (rowsBefore == rowsAfter) {
        return;
    }
    // The rows between the two fill levels, counted from the inner bottom edge.
    const int bottom = kFramePx + inner;
    const int low = std::min(rowsBefore, rowsAfter);
    const int high = std::max(rowsBefore, rowsAfter);
    update(QRect(kFramePx, bottom - high, width() - 2 * kFramePx, high - low));
}

void LevelBar::paintEvent(QPaintEvent* event) {
    QPainter painter(this);
    const QPalette& colours = palette();
    const QRect all = rect();
    const QRect inside = all.adjusted(kFramePx, kFramePx, -kFramePx, -kFramePx);
    if (!inside.contains(event->rect())) {
        painter.fillRect(all, colours.color(QPalette::Mid));
    }
    if (inside.isEmpty()) {
        return;
    }
    // A value change marks rows of one colour only; the other fill is skipped.
    const int rows = filledRows(value_, inside.height());
    const QRect empty =
        QRect(inside.left(), inside.top(), inside.width(), inside.height() - rows) & event->rect();
    const QRect filled =
        QRect(inside.left(), inside.bottom() + 1 - rows, inside.width(), rows) & event->rect();
    if (!empty.isEmpty()) {
        painter.fillRect(empty, colours.color(QPalette::Base));
    }
    if (!filled.isEmpty()) {
        painter.fillRect(filled, colours.color(QPalette::Highlight));
    }
}

}  // namespace kalindor::ui
