#include "ui/SpectrumView.h"

#include <QPaintEvent>
#include <QPainter>
#include <utility>

namespace kalindor::ui {

namespace {

const QColor kBackground(Qt::black);

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
    pending_ = 0;
    clearPending_ = true;
}

void SpectrumView::drawLine(float x1, float y1, float x2, float y2, Rgb colour) {
    if (pending_ == kMaxPendingLines) {
        drawPendingLines();
    }
    lines_[pending_] = QLineF(x1, y1, x2, y2);
    colours_[pending_] = colour;
    ++pending_;
}

void SpectrumView::drawPendingLines() {
    if (clearPending_) {
        back_.fill(kBackground);
        clearPending_ = false;
    }
    if (pending_ == 0) {
        return;
    }
    QPainter painter(&back_);
    std::size_t runStart = 0;
    while (runStart < pending_) {
        const Rgb colour = colours_[runStart];
        std::size_t runEnd = runStart + 1;
        while (runEnd < pending_ && colours_[runEnd] == colour) {
            ++runEnd;
        }
        painter.setPen(QColor(colour.red, colour.green, colour.blue));
        painter.drawLines(&lines_[runStart], static_cast<int>(runEnd - runStart));
        runStart = runEnd;
    }
    pending_ = 0;
}

void SpectrumView::presentPicture() {
    drawPendingLines();
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
