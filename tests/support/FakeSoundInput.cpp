#include "support/FakeSoundInput.h"

#include <algorithm>

namespace kalindor::test {

std::optional<std::string> FakeSoundInput::open() {
    calls.push_back(Call::kOpen);
    if (openFailure) {
        return openFailure;
    }
    open_ = true;
    return std::nullopt;
}

void FakeSoundInput::close() {
    calls.push_back(Call::kClose);
    open_ = false;
}

bool FakeSoundInput::takeBuffer(std::uint8_t* out) {
    calls.push_back(Call::kTake);
    if (!open_ || pending.empty()) {
        return false;
    }
    std::copy(pending.front().begin(), pending.front().end(), out);
    pending.pop_front();
    captured += kBufferSamples;
    ++takesSucceeded;
    return true;
}

void FakeSoundInput::deliverFilled(std::uint8_t value) {
    Buffer buffer;
    buffer.fill(value);
    deliver(buffer);
}

}  // namespace kalindor::test
