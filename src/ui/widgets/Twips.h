// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QRect>

namespace kalindor::ui {

inline constexpr int kTwipsPerPixel = 15;

// A design rectangle in twips (left, top, width, height) as pixels, at 15 twips per pixel.
constexpr QRect twipsRect(int left, int top, int width, int height) {
    return QRect(left / kTwipsPerPixel, top / kTwipsPerPixel, width / kTwipsPerPixel,
                 height / kTwipsPerPixel);
}

constexpr int twipsToPixels(int twips) {
    return twips / kTwipsPerPixel;
}

// Font of the windows: 11 px, the size the design positions were drawn for.
inline constexpr int kFontPixelSize = 11;

}  // namespace kalindor::ui
