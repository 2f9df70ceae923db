// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QDialog>
#include <array>

#include "core/SharedState.h"

class QLabel;
class QPushButton;
class QSlider;

namespace kalindor::ui {

// "Настройки частоты": one frequency slider per channel. Modeless; created on first use and
// kept, "Закрыть" and the close box only hide it. Moving a slider writes ChannelFrequency(ch)
// at once. Main thread only; the state outlives the dialog.
class Form2 final : public QDialog {
    Q_OBJECT

  public:
    explicit Form2(SharedState& state, QWidget* parent = nullptr);

    // Shows the current settings; slider signals are blocked, so nothing is written back.
    void fill();

    std::array<QLabel*, kChannelCount> Label1{};    // channel number, objectName "Label1_<ch>"
    std::array<QSlider*, kChannelCount> Slider1{};  // 1..255, objectName "Slider1_<ch>"
    std::array<QLabel*, kChannelCount> Label2{};    // "62.5 Гц", objectName "Label2_<ch>"
    QPushButton* Command1 = nullptr;                // "Закрыть"

  private:
    void frequencyChanged(int ch, int position);

    SharedState& state_;
};

}  // namespace kalindor::ui
