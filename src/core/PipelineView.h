// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <cstdint>

namespace kalindor {

// A 24-bit colour.
struct Rgb {
    std::uint8_t red = 0;
    std::uint8_t green = 0;
    std::uint8_t blue = 0;
    friend bool operator==(const Rgb&, const Rgb&) = default;
};

inline constexpr Rgb kBlack{0, 0, 0};
inline constexpr Rgb kWhite{255, 255, 255};
inline constexpr Rgb kYellow{255, 255, 0};
inline constexpr Rgb kGreen{0, 255, 0};
inline constexpr Rgb kCyan{0, 255, 255};

// What the buffer pipeline and the effects automaton show. The window implements it by
// painting; the CLI and the tests implement it by recording or ignoring. Called on the main
// thread only, from inside the capture tick or a timer tick.
class PipelineView {
  public:
    virtual ~PipelineView() = default;

    // Clears the graph area (273 x 257 px; y = 0 at the top, value v drawn at y = 255 - v).
    virtual void clearGraph() = 0;
    // One straight line in the graph area, coordinates in pixels (fractional in log X).
    virtual void drawLine(float x1, float y1, float x2, float y2, Rgb colour) = 0;
    // Called after the last line of a buffer: the picture is complete and may be shown.
    virtual void graphDone() = 0;
    // Level bar ch (0..7) shows value 0..255.
    virtual void setLevelBar(int ch, int value) = 0;
    // Lamp (indicator) ch (0..7) takes a colour.
    virtual void setLamp(int ch, Rgb colour) = 0;
    // The USB board answered: connected or not (the window's status line).
    virtual void setDeviceStatus(bool connected) = 0;
};

// A view that shows nothing (benchmarks, headless runs).
class NullView final : public PipelineView {
  public:
    void clearGraph() override {}
    void drawLine(float, float, float, float, Rgb) override {}
    void graphDone() override {}
    void setLevelBar(int, int) override {}
    void setLamp(int, Rgb) override {}
    void setDeviceStatus(bool) override {}
};

}  // namespace kalindor
