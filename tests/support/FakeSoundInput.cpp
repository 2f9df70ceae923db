#include "support/FakeSoundInput.h"

#include <algorithm>

namespace kalindor::test {

void FakeSoundInput::record(Call call) {
    calls.push_back(call);
    if (onCall) {
        onCall(call);
    }
}

Expected<void> FakeSoundInput::open() {
    record(Call::kOpen);
    if (openFailure) {
        return unexpected(*openFailure);
    }
    open_ = true;
    return {};
}

void FakeSoundInput::close() {
    record(Call::kClose);
    open_ = false;
}

bool FakeSoundInput::takeBuffer(std::uint8_t* out) {
    record(Call::kTake);
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
