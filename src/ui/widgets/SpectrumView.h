// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QImage>
#include <QWidget>

#include "core/PipelineView.h"

namespace kalindor::ui {

// The graph area `Picture1`: 273 x 257 px, y = 0 at the top, value v at y = 255 - v. The buffer
// pipeline draws each buffer's lines into a back image between beginPicture() and
// presentPicture(); presenting swaps it with the shown image and repaints the view once. (A
// repaint of only the rectangle that changed saved less than finding it cost: the channel
// markers run the full height and music moves lines across the whole width.) Lines are one
// pixel wide, without antialiasing, set straight into the image's pixels (a general painter
// cost more per line than the whole analysis per point), a vertical one as a plain column run;
// the part of a line outside the area is not drawn. While the view is not visible (the window
// hidden) pictures are neither drawn nor presented, and the shown image keeps the last one
// drawn. Paint events only copy the shown image, so nothing is drawn or recomputed between
// buffers and no memory is allocated per buffer. Main thread only.
class SpectrumView final : public QWidget {
    Q_OBJECT

  public:
    static constexpr int kWidthPx = 273;
    static constexpr int kHeightPx = 257;

    explicit SpectrumView(QWidget* parent = nullptr);

    // Starts a picture on a cleared background.
    void beginPicture();
    // One line of the current picture (pixel coordinates, fractional allowed and rounded to
    // the nearest pixel; a line with a coordinate that is not a number is left out). A later
    // line is drawn over an earlier one.
    void drawLine(float x1, float y1, float x2, float y2, Rgb colour);
    // Ends the picture and shows it with one repaint.
    void presentPicture();

    // What is on screen now (tests and screenshots).
    const QImage& shownImage() const { return shown_; }
    int picturesPresented() const { return presented_; }

  protected:
    void paintEvent(QPaintEvent* event) override;

  private:
    bool drawing_ = false;      // the current picture is drawn (the view was visible at its start)
    QRgb* backBits_ = nullptr;  // back_'s pixels while drawing_
    qsizetype stride_ = 0;      // pixels per row of back_
    QImage back_;
    QImage shown_;
    int presented_ = 0;
};

}  // namespace kalindor::ui
