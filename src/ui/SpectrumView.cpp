#include "ui/SpectrumView.h"

#include <QPaintEvent>
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
    if (painter_.isActive()) {
        painter_.end();
    }
    back_.fill(kBackground);
    painter_.begin(&back_);
}

void SpectrumView::drawLine(float x1, float y1, float x2, float y2, Rgb colour) {
    if (!painter_.isActive()) {
        painter_.begin(&back_);
    }
    painter_.setPen(QColor(colour.red, colour.green, colour.blue));
    painter_.drawLine(QLineF(x1, y1, x2, y2));
}

void SpectrumView::presentPicture() {
    if (painter_.isActive()) {
        painter_.end();
    }
    std::swap(back_, shown_);
    ++presented_;
    update();
}

void SpectrumView::paintEvent(QPaintEvent* event) {
    QPainter painter(this);
    painter.drawImage(event->rect(), shown_, event->rect());
}

}  // namespace kalindor::ui
