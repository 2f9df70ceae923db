#pragma once

#include <QImage>
#include <QLineF>
#include <QWidget>
#include <array>

#include "engine/PipelineView.h"

namespace kalindor::ui {

// The graph area `Picture1`: 273 x 257 px, y = 0 at the top, value v at y = 255 - v. The buffer
// pipeline hands each buffer's lines over between beginPicture() and presentPicture(); they are
// kept in order and drawn into a back image in one painter pass when the picture is presented
// (a run of lines in one colour is one drawLines call), then the back image becomes the shown
// one and the window repaints once. Paint events only copy the shown image, so nothing is drawn
// or recomputed between buffers and no memory is allocated per buffer. Main thread only.
class SpectrumView final : public QWidget {
    Q_OBJECT

  public:
    static constexpr int kWidthPx = 273;
    static constexpr int kHeightPx = 257;

    explicit SpectrumView(QWidget* parent = nullptr);

    // Starts a picture on a cleared background.
    void beginPicture();
    // One line of the current picture (pixel coordinates, fractional allowed). Lines are drawn
    // in the order given, a later one over an earlier one.
    void drawLine(float x1, float y1, float x2, float y2, Rgb colour);
    // Ends the picture and shows it with one repaint (none while the window is hidden).
    void presentPicture();

    // What is on screen now (tests and screenshots).
    const QImage& shownImage() const { return shown_; }
    int picturesPresented() const { return presented_; }

  protected:
    void paintEvent(QPaintEvent* event) override;

  private:
    // A buffer has up to 255 graph lines and 255 markers; more only when drawn without
    // presenting, and then the lines so far are drawn early.
    static constexpr std::size_t kMaxPendingLines = 512;

    // Draws the pending lines into the back image (after clearing it when a picture began).
    void drawPendingLines();

    QImage back_;
    QImage shown_;
    std::array<QLineF, kMaxPendingLines> lines_{};
    std::array<Rgb, kMaxPendingLines> colours_{};
    std::size_t pending_ = 0;
    bool clearPending_ = false;
    int presented_ = 0;
};

}  // namespace kalindor::ui
