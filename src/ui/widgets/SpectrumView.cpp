// SPDX-License-Identifier: GPL-3.0-or-later
#include "ui/widgets/SpectrumView.h"

#include <QPaintEvent>
#include <QPainter>
#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <type_traits>
#include <utility>

namespace kalindor::ui {

namespace {

const QColor kBackground(Qt::black);
// Line ends are clamped to this many pixels around the area.
constexpr float kFarPx = 4096.0f;

}  // namespace

SpectrumView::SpectrumView(QWidget* parent)
    : QWidget(parent),
      back_(kWidthPx, kHeightPx, QImage::Format_RGB32),
      shown_(kWidthPx, kHeightPx, QImage::Format_RGB32) {
    setObjectName(QStringLiteral("Picture1"));
    setFixedSize(kWidthPx, kHeightPx);
    setAttribute(Qt::WA_OpaquePaintEvent);
    back_.fill(kBackground);
    shown_.fill(kBackground);
}

void SpectrumView::beginPicture() {
    drawing_ = isVisible();
    if (drawing_) {
        back_.fill(kBackground);
        backBits_ = reinterpret_cast<QRgb*>(back_.bits());
        stride_ = back_.bytesPerLine() / static_cast<qsizetype>(sizeof(QRgb));
    }
}

void SpectrumView::drawLine(float x1, float y1, float x2, float y2, Rgb colour) {
    if (!drawing_ || std::isnan(x1) || std::isnan(y1) || std::isnan(x2) || std::isnan(y2)) {
        return;
    }
    // Ends beyond kFarPx are pulled in to keep the walk below short and free of overflow; the
    // pipeline's coordinates stay far inside that range.
    // Halves away from zero, as std::lround, without its call (four per line); the sum is
    // exact in double for every float.
    const auto toPixel = [](float coordinate) {
        const double clamped = std::clamp(coordinate, -kFarPx, kFarPx);
        return clamped >= 0 ? static_cast<int>(clamped + 0.5) : -static_cast<int>(0.5 - clamped);
    };
    int x = toPixel(x1);
    int y = toPixel(y1);
    const int endX = toPixel(x2);
    const int endY = toPixel(y2);
    const QRgb pixel = qRgb(colour.red, colour.green, colour.blue);
    QRgb* const bits = backBits_;
    const qsizetype stride = stride_;

    // A vertical line (every marker, every histogram bar, many steep segments): one column run.
    if (x == endX) {
        if (x >= 0 && x < kWidthPx) {
            const int low = std::max(0, std::min(y, endY));
            const int high = std::min(kHeightPx - 1, std::max(y, endY));
            // Four rows a step: a column takes about half the instructions of one row a step.
            QRgb* run = bits + low * stride + x;
            int rows = high - low + 1;
            for (; rows >= 4; rows -= 4, run += 4 * stride) {
                run[0] = pixel;
                run[stride] = pixel;
                run[2 * stride] = pixel;
                run[3 * stride] = pixel;
            }
            for (; rows > 0; --rows, run += stride) {
                *run = pixel;
            }
        }
        return;
    }

    // Bresenham's walk from (x, y) to the other end, both ends included.
    const int dx = std::abs(endX - x);
    const int dy = -std::abs(endY - y);
    const int stepX = x < endX ? 1 : -1;
    const int stepY = y < endY ? 1 : -1;
    int error = dx + dy;
    if (-dy >= dx) {
        // Steep: the walk moves one row every step (2 * error stays <= dx), so it ends after
        // -dy steps; the pixel's index follows the walk instead of a row multiplication (an
        // index, not a pointer: the walk may run outside the image). A line with both ends in
        // the area stays in it, and its pixels need no check.
        const auto walk = [&](auto checked) {
            qsizetype at = static_cast<qsizetype>(y) * stride + x;
            const qsizetype rowStep = stepY * stride;
            for (int steps = -dy;; --steps) {
                if (!checked || (static_cast<unsigned>(x) < unsigned{kWidthPx} &&
                                 static_cast<unsigned>(y) < unsigned{kHeightPx})) {
                    bits[at] = pixel;
                }
                if (steps == 0) {
                    return;
                }
                if (2 * error >= dy) {
                    error += dy;
                    x += stepX;
                    at += stepX;
                }
                error += dx;
                y += stepY;
                at += rowStep;
            }
        };
        const auto inArea = [](int px, int py) {
            return static_cast<unsigned>(px) < unsigned{kWidthPx} &&
                   static_cast<unsigned>(py) < unsigned{kHeightPx};
        };
        if (inArea(x, y) && inArea(endX, endY)) {
            walk(std::false_type{});
        } else {
            walk(std::true_type{});
        }
        return;
    }
    for (;;) {
        if (x >= 0 && x < kWidthPx && y >= 0 && y < kHeightPx) {
            bits[y * stride + x] = pixel;
        }
        if (x == endX && y == endY) {
            break;
        }
        const int twice = 2 * error;
        if (twice >= dy) {
            error += dy;
            x += stepX;
        }
        if (twice <= dx) {
            error += dx;
            y += stepY;
        }
    }
}

void SpectrumView::presentPicture() {
    if (!drawing_) {
        return;
    }
    drawing_ = false;
    std::swap(back_, shown_);
    ++presented_;
    // At once rather than through update(): the level bars and lamps changed by this buffer
    // are already marked, so the window is painted and flushed once, without the extra wake-up
    // of a deferred update request.
    repaint();
}

void SpectrumView::paintEvent(QPaintEvent* event) {
    QPainter painter(this);
    painter.drawImage(event->rect(), shown_, event->rect());
}

}  // namespace kalindor::ui
