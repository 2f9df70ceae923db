// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <string>

#include <QString>

#include "launch/LaunchOptions.h"
#include "launch/OutputChoices.h"
#include "lights/LightOutputs.h"

class QSettings;

namespace kalindor::ui {

// The light-output choices the user keeps between runs (the "Выход света…" dialog), in the
// group "outputs" of `settings`: devices (a list of --device values), olaPort, dmxLevels
// ("switch" or "dim"), lightDelayMs and usbId ("VVVV:PPPP", hexadecimal, as --usb-id takes it).
// A missing, unreadable or out-of-range value loads as that key's default; the device list
// falls back as a whole when one entry does not parse or the devices cannot go together.
OutputChoices loadOutputChoices(const QSettings& settings);

// Writes every key and flushes the file; the caller checks the choices (checkOutputDevices).
void saveOutputChoices(QSettings& settings, const OutputChoices& choices);

// The status line while the board is the only output.
inline constexpr const char* kStatusConnected = "USB подключен";
inline constexpr const char* kStatusNotConnected = "USB НЕ подключен";

// The status line while other outputs run besides or instead of the board: each watched
// output's name and whether it is connected, the board first (`boardConnected`, its last answer
// as the window heard it), e.g. "USB: да · OLA 1: нет"; an output that failed to open is named
// with "нет". Within a part the blanks do not break (a line breaks only between outputs).
// While the board is the only output: kStatusConnected or kStatusNotConnected.
std::string outputStatusLine(const LightOutputs& outputs, bool boardConnected);

// An output's opening error ("GPIO gpiochip9: cannot open the chip (No such file or
// directory)") told in Russian, the system's reason with it.
QString russianOutputError(const std::string& error);

// The output options given on the command line, in Russian ("выходы sim, задержка света 100
// мс"); empty when none was given.
QString commandLineOutputs(const LaunchOptions& options);

}  // namespace kalindor::ui
