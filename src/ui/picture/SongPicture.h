// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <string>

#include "core/Expected.h"
#include "dsp/SongPreview.h"

class QPainter;

namespace kalindor::ui {

// The song preview's picture: a title, a loudness strip, one row per channel (lit stretches in
// the channel's marker colour, brightness = the channel's level), the share of time lit and
// the switches per minute beside each row, m:ss marks and a legend. One routine paints it for
// the window, PNG files and SVG files, so all three show the same. Painting is QPainter's:
// the same code then draws on a widget, a QImage (PNG) and a QSvgGenerator (SVG), and the
// window needs no second graphics library. Text needs a QGuiApplication (fonts).

inline constexpr int kSongPictureWidth = 960;
inline constexpr int kSongPictureHeight = 372;

// Plot geometry, in picture pixels: the time axis runs over [kPlotLeft, kPlotRight).
inline constexpr int kPlotLeft = 40;
inline constexpr int kPlotRight = kSongPictureWidth - 200;
inline constexpr int kLoudnessTop = 30;
inline constexpr int kLoudnessHeight = 40;
inline constexpr int kRowsTop = kLoudnessTop + kLoudnessHeight + 8;
inline constexpr int kRowHeight = 28;

// Centre of channel ch's row and x of a time in the song (for tests and the window's hints).
int songPictureRowY(int ch);
int songPictureX(const SongPreview& preview, double ms);

// Paints the whole picture into [0, kSongPictureWidth) x [0, kSongPictureHeight) of the
// painter's coordinates. title names the song (UTF-8).
void paintSongPicture(QPainter& painter, const SongPreview& preview, const std::string& title);

// Writes the picture to path: SVG when the name ends in ".svg" (any case), else PNG. Creates a
// QGuiApplication (offscreen) first when the program has none. The error (English, for the
// command line) is "cannot write 'PATH': reason" or "'PATH' is a folder".
Expected<void> writeSongPicture(const SongPreview& preview, const std::string& title,
                                const std::string& path);

}  // namespace kalindor::ui
