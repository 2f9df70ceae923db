// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QDialog>
#include <array>

#include "core/SharedState.h"

class QLabel;
class QPushButton;
class QSlider;

namespace kalindor::ui {

// "Настройки фильтра шума": the noise filter slider (50..100, 100 = off). Modeless; created on
// first use and kept, "Закрыть" and the close box only hide it. Main thread only.
class Form4 final : public QDialog {
    Q_OBJECT

  public:
    explicit Form4(SharedState& state, QWidget* parent = nullptr);

    // Places the slider at the position of the current NoiseFilterLevel (signals blocked).
    void fill();

    // Arrays of one element, as the controls were designed; objectNames "Slider1_0", "Label1_0".
    std::array<QSlider*, 1> Slider1{};
    std::array<QLabel*, 1> Label1{};  // "Выкл" or "N%"
    QPushButton* Command1 = nullptr;  // "Закрыть"

  private:
    void filterChanged(int position);

    SharedState& state_;
};

}  // namespace kalindor::ui
