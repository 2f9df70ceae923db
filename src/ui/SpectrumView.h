#pragma once

#include <QImage>
#include <QPainter>
#include <QWidget>

#include "engine/PipelineView.h"

namespace kalindor::ui {

// The graph area `Picture1`: 273 x 257 px, y = 0 at the top, value v at y = 255 - v. The buffer
// pipeline draws each buffer's lines into a back image between beginPicture() and
// presentPicture(); presenting swaps it with the shown image and asks for one repaint. Paint
// events only copy the shown image, so nothing is drawn or recomputed between buffers and no
// memory is allocated per buffer. Main thread only.
class SpectrumView final : public QWidget {
    Q_OBJECT

  public:
    static constexpr int kWidthPx = 273;
    static constexpr int kHeightPx = 257;

    explicit SpectrumView(QWidget* parent = nullptr);

    // Clears the back image to the background and starts a picture.
    void beginPicture();
    // One line of the current picture (pixel coordinates, fractional allowed).
    void drawLine(float x1, float y1, float x2, float y2, Rgb colour);
    // Ends the picture and shows it with one repaint.
    void presentPicture();

    // What is on screen now (tests and screenshots).
    const QImage& shownImage() const { return shown_; }
    int picturesPresented() const { return presented_; }

  protected:
    void paintEvent(QPaintEvent* event) override;

  private:
    QImage back_;
    QImage shown_;
    QPainter painter_;
    int presented_ = 0;
};

}  // namespace kalindor::ui
