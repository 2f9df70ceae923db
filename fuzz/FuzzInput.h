// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>

namespace kalindor::fuzz {

// Reads a fuzz input from front to back, so the initial corpus can be written in the same
// layout. Past the end every read gives zeros; `exhausted()` says when that has happened.
class FuzzInput {
  public:
    FuzzInput(const std::uint8_t* data, std::size_t size) : data_(data), size_(size) {}

    bool empty() const { return position_ >= size_; }
    std::size_t remaining() const { return empty() ? 0 : size_ - position_; }

    std::uint8_t byte() { return empty() ? 0 : data_[position_++]; }

    // Little-endian, as the corpus writer stores them.
    std::int16_t int16() {
        const auto low = byte();
        const auto high = byte();
        return static_cast<std::int16_t>(static_cast<std::uint16_t>(low | (high << 8)));
    }
    std::int32_t int32() {
        std::uint32_t value = 0;
        for (int shift = 0; shift < 32; shift += 8) {
            value |= static_cast<std::uint32_t>(byte()) << shift;
        }
        return static_cast<std::int32_t>(value);
    }

    // Copies up to `count` bytes into out[0..count), filling what is missing with `fill`.
    void bytes(std::uint8_t* out, std::size_t count, std::uint8_t fill) {
        const std::size_t taken = count < remaining() ? count : remaining();
        if (taken > 0) {
            std::memcpy(out, data_ + position_, taken);
        }
        std::memset(out + taken, fill, count - taken);
        position_ += taken;
    }

  private:
    const std::uint8_t* data_;
    std::size_t size_;
    std::size_t position_ = 0;
};

}  // namespace kalindor::fuzz
