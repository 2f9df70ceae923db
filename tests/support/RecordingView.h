// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <array>
#include <vector>

#include "core/PipelineView.h"

namespace kalindor::test {

// A view that records what it was asked to show.
class RecordingView final : public PipelineView {
  public:
    struct Line {
        float x1, y1, x2, y2;
        Rgb colour;
    };

    void clearGraph() override {
        ++clears;
        lines.clear();
    }
    void drawLine(float x1, float y1, float x2, float y2, Rgb colour) override {
        lines.push_back({x1, y1, x2, y2, colour});
    }
    void graphDone() override {}
    void setLevelBar(int ch, int value) override {
        bars.at(ch) = value;
        ++barUpdates;
    }
    void setLamp(int ch, Rgb colour) override { lamps.at(ch) = colour; }
    void setDeviceStatus(bool isConnected) override {
        connected = isConnected;
        ++statusUpdates;
    }

    int clears = 0;
    std::vector<Line> lines;  // lines of the current buffer
    std::array<int, 8> bars{};
    std::array<Rgb, 8> lamps{};
    int barUpdates = 0;
    bool connected = false;
    int statusUpdates = 0;
};

}  // namespace kalindor::test
