// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QDialog>

#include "core/SharedState.h"

class QLabel;
class QPushButton;
class QSlider;

namespace kalindor::ui {

// "Скорость АРУ": the AGC speed slider, 1000..10000 point steps. Modeless; created on first
// use and kept, "Закрыть" and the close box only hide it. Main thread only.
class Form5 final : public QDialog {
    Q_OBJECT

  public:
    explicit Form5(SharedState& state, QWidget* parent = nullptr);

    // Label3 shows AgcSpeed as it stands; the slider shows it clamped to its range. A value
    // outside the range (possible from a preset) is not written back: only a user's move
    // writes AgcSpeed.
    void fill();

    QLabel* Label1 = nullptr;  // "Больше"
    QSlider* Slider1 = nullptr;
    QLabel* Label2 = nullptr;         // "Меньше"
    QLabel* Label3 = nullptr;         // the value
    QPushButton* Command1 = nullptr;  // "Закрыть"

  private:
    void speedChanged(int value);

    SharedState& state_;
};

}  // namespace kalindor::ui
