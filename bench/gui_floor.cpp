// SPDX-License-Identifier: GPL-3.0-or-later
// The least a Qt window can cost for what the main window does every 30 ms, measured by
// scripts/bench-gui.sh beside it: a window of the main window's size with a view of the
// graph's size, repainted every period, with no analysis and nothing else drawn.
//   gui_floor timer   the timer alone, nothing repainted
//   gui_floor pixel   one pixel of the view repainted per period
//   gui_floor graph   the whole view repainted per period from an image redrawn each time
#include <QApplication>
#include <QImage>
#include <QPaintEvent>
#include <QPainter>
#include <QTimer>
#include <QWidget>
#include <cstdio>
#include <string_view>

namespace {

constexpr int kPeriodMs = 30;
constexpr int kWindowWidthPx = 623;
constexpr int kWindowHeightPx = 400;
constexpr int kViewWidthPx = 273;
constexpr int kViewHeightPx = 257;

class View final : public QWidget {
  public:
    explicit View(QWidget* parent) : QWidget(parent) {
        setAttribute(Qt::WA_OpaquePaintEvent);
        setFixedSize(kViewWidthPx, kViewHeightPx);
        image.fill(Qt::black);
    }
    QImage image{kViewWidthPx, kViewHeightPx, QImage::Format_RGB32};

  protected:
    void paintEvent(QPaintEvent* event) override {
        QPainter painter(this);
        painter.drawImage(event->rect(), image, event->rect());
    }
};

}  // namespace

int main(int argc, char** argv) {
    enum class Mode { Timer, Pixel, Graph };
    const std::string_view name = argc > 1 ? argv[1] : "";
    Mode mode = Mode::Timer;
    if (name == "pixel") {
        mode = Mode::Pixel;
    } else if (name == "graph") {
        mode = Mode::Graph;
    } else if (name != "timer") {
        std::fprintf(stderr, "usage: gui_floor timer|pixel|graph\n");
        return 2;
    }
    QApplication app(argc, argv);
    QWidget window;
    window.setFixedSize(kWindowWidthPx, kWindowHeightPx);
    View view(&window);
    view.move(8, 8);
    int frame = 0;
    QTimer timer;
    timer.setInterval(kPeriodMs);
    QObject::connect(&timer, &QTimer::timeout, [&] {
        ++frame;
        if (mode == Mode::Pixel) {
            view.image.setPixel(0, 0, (frame & 1) != 0 ? 0xffffffU : 0U);
            view.repaint(0, 0, 1, 1);
        } else if (mode == Mode::Graph) {
            // A picture as the graph draws one: cleared, then a line across the width.
            view.image.fill(Qt::black);
            for (int x = 0; x < kViewWidthPx; ++x) {
                view.image.setPixel(x, (x * 7 + frame) % kViewHeightPx, 0xffffffU);
            }
            view.repaint();
        }
    });
    timer.start();
    window.show();
    return QApplication::exec();
}
