// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QDialog>
#include <array>
#include <functional>

#include "core/SharedState.h"

class QGroupBox;
class QLabel;
class QRadioButton;
class QSlider;

namespace kalindor::ui {

// "Настройки автомата световых эффектов": seconds without signal, automaton on/off, its step
// period and its effect. Opened modal over the main window (the timers keep running); filled
// from the state at every opening. Every change applies at once; there is no OK or Cancel.
// Main thread only.
class Form6 final : public QDialog {
    Q_OBJECT

  public:
    // timerPeriodsChanged runs after NoSignalSeconds or EffectIntervalMs changed, so the owner
    // can give Timer2 and Timer3 their new periods without enabling or disabling them.
    Form6(SharedState& state, std::function<void()> timerPeriodsChanged, QWidget* parent = nullptr);

    // Loads the controls from the state (signals blocked, nothing is written back).
    void fill();

    QLabel* Label1 = nullptr;    // "Если нет сигнала"
    QSlider* Slider1 = nullptr;  // seconds 1..10
    QLabel* Label2 = nullptr;    // Slider1's value
    QLabel* Label3 = nullptr;    // "секунд, то"

    std::array<QRadioButton*, 2> Option1{};  // "Ничего не делать", "Запустить автомат"

    QLabel* Label4 = nullptr;     // "Скорость автомата"
    QSlider* Slider2 = nullptr;   // step period in tenths of a second, 1..10
    QGroupBox* Frame1 = nullptr;  // "Эффекты"

    std::array<QRadioButton*, 3> Option2{};  // "Бегущий огонь", "Бегущая волна", "Произвольно"

  private:
    // Widens the captions (or shrinks their font) so that each is fully visible.
    void fitCaptions();
    void secondsChanged(int seconds);
    void speedChanged(int tenths);

    SharedState& state_;
    std::function<void()> timerPeriodsChanged_;
};

}  // namespace kalindor::ui
