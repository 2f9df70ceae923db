// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QWidget>

namespace kalindor::ui {

// A channel level bar (`ProgressBar1`): vertical, range 0..255, filled from the bottom in the
// highlight colour inside a one-pixel frame. Setting a value repaints only the rows whose
// colour changes, and nothing when the filled height stays the same; that paint is one solid
// fill (a full one, two and the frame). A styled progress bar repainted itself at once on every
// value, with gradients and text layout, and cost more than the whole analysis at 33 buffers a
// second. Main thread only.
class LevelBar final : public QWidget {
    Q_OBJECT

  public:
    static constexpr int kMinimum = 0;
    static constexpr int kMaximum = 255;

    explicit LevelBar(QWidget* parent = nullptr);

    // Values outside 0..255 are clamped.
    void setValue(int value);
    int value() const { return value_; }
    int minimum() const { return kMinimum; }
    int maximum() const { return kMaximum; }
    Qt::Orientation orientation() const { return Qt::Vertical; }

    // Filled rows for a value in a bar whose inside is innerHeight pixels tall: value / 255 of
    // it, rounded to the nearest row (halves up), 0 for 0 and innerHeight for 255.
    static int filledRows(int value, int innerHeight);

  protected:
    void paintEvent(QPaintEvent* event) override;

  private:
    int innerHeight() const;

    int value_ = kMinimum;
};

}  // namespace kalindor::ui
