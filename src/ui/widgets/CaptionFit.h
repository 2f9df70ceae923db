// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

class QLabel;
class QWidget;

namespace kalindor::ui {

// Smallest font the caption fitting may fall back to, in pixels.
inline constexpr int kMinimumCaptionFontPixelSize = 8;

// The design widths were drawn for narrower fonts than today's desktops have. These make a
// caption fully visible at its design position: the control grows from its design width up to
// availableWidthPx (the room before the next control or the window's edge), and only when even
// that is too narrow does the control's own font shrink, a pixel at a time down to
// kMinimumCaptionFontPixelSize. Left, top and height stay as designed. Call them after the
// control's font and text are final (for a changing text, with its widest text).

// A one-line caption (a label, which then stops wrapping, or an option button).
void fitCaption(QWidget* control, int availableWidthPx);

// A label whose caption wraps onto the lines its design height holds.
void fitWrappedCaption(QLabel* label, int availableWidthPx);

}  // namespace kalindor::ui
