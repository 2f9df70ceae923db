// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QColor>
#include <QDialog>
#include <QString>
#include <array>
#include <functional>
#include <vector>

#include "core/Expected.h"
#include "launch/OutputChoices.h"

class QCheckBox;
class QDialogButtonBox;
class QGroupBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QRadioButton;
class QSpinBox;

namespace kalindor::ui {

// How the outputs dialog reaches the outputs that run now.
struct OutputControl {
    std::function<OutputChoices()> current;  // the choices the outputs run now
    // Makes the outputs run `choices` at once; the error, in Russian, names the output that
    // could not be opened (nothing has changed then).
    std::function<Expected<void, QString>(const OutputChoices&)> apply;
    // The choices the command line made for this run, in Russian; empty when none.
    QString overrides;
};

// "Выход света": the light outputs, applied at OK to the running program and kept for the next
// start. The board (USB, simulated or none), one OLA universe with its first slot, layout (and
// LEDs a channel for a strip), the DMX levels mode and the daemon's port, the channels'
// colours, one GPIO chip with a line per channel, and the light delay; a build without OLA or
// GPIO hides that group. A number typed beyond a field's range stays as typed, in red, and OK
// refuses it naming the range.
// Opened modal over the main window, filled from the choices in effect at every opening; OK
// checks the controls, applies them (OutputControl::apply) and either emits chosen() and
// closes, or emits refused() with the reason and stays open. Cancel and the close box change
// nothing. Main thread only.
class Form7 final : public QDialog {
    Q_OBJECT

  public:
    // The largest universe and GPIO line the controls hold; a saved OLA or GPIO output beyond
    // them is kept as it is, like every output after the first of its kind.
    static constexpr int kMaxUniverse = 2147483647;
    static constexpr int kMaxGpioLine = 999;

    explicit Form7(QWidget* parent = nullptr);

    // Where OK applies the choices and what the note says; without `apply` OK only emits.
    void setControl(OutputControl control);
    // Loads the controls from `saved`.
    void fill(const OutputChoices& saved);
    // The choices the controls make (the outputs they cannot show stay as saved), or the
    // reason, in Russian, why they cannot be used.
    Expected<OutputChoices, QString> choices() const;

    QGroupBox* fraBoard = nullptr;
    QRadioButton* optUsb = nullptr;   // "USB-плата"
    QRadioButton* optSim = nullptr;   // "Имитация"
    QRadioButton* optNone = nullptr;  // "Нет"
    QGroupBox* fraOla = nullptr;      // checkable: the OLA output is on
    QSpinBox* spnUniverse = nullptr;
    QSpinBox* spnFirstSlot = nullptr;   // 1..512; checked against the layout
    QRadioButton* optDimmer = nullptr;  // layout: a slot a channel
    QRadioButton* optRgb = nullptr;     // layout: R, G, B a channel
    QRadioButton* optRgbw = nullptr;    // layout: R, G, B, W a channel
    QRadioButton* optPixels = nullptr;  // layout: an LED strip
    QSpinBox* spnPixels = nullptr;      // LEDs a channel on a strip
    QRadioButton* optSwitch = nullptr;  // DMX levels: 255 or 0
    QRadioButton* optDim = nullptr;     // DMX levels: the channel's level
    QSpinBox* spnOlaPort = nullptr;     // 1..65535
    // Each channel's colour; its text is the colour as "#RRGGBB" (what OK reads), a click
    // opens the standard colour dialog.
    std::array<QPushButton*, kChannelCount> cmdColour{};
    QGroupBox* fraGpio = nullptr;                    // checkable: the GPIO output is on
    QLineEdit* txtChip = nullptr;                    // e.g. "gpiochip0"
    std::array<QSpinBox*, kChannelCount> spnLine{};  // line of each channel
    QCheckBox* chkActiveLow = nullptr;
    QSpinBox* spnDelay = nullptr;  // light delay, 0..kMaxLightDelayMs ms
    QLabel* lblNote = nullptr;     // the command line's choices for this run; hidden when none
    QDialogButtonBox* buttons = nullptr;

  signals:
    void chosen(const OutputChoices& choices);
    void refused(const QString& reason);

  public slots:
    void accept() override;

  private:
    QGroupBox* makeOlaFrame();
    QGroupBox* makeGpioFrame();
    void showColour(int ch, const QColor& colour);

    OutputControl control_;
    OutputChoices saved_;
    std::vector<OutputChoice> kept_;  // saved outputs the controls do not show, in their order
};

}  // namespace kalindor::ui
