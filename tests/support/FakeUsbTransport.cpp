#include "support/FakeUsbTransport.h"

namespace kalindor::test {

Expected<void, UsbOpenError> FakeUsbTransport::open(std::uint16_t vendorId,
                                                    std::uint16_t productId) {
    ++openAttempts;
    lastVendorId = vendorId;
    lastProductId = productId;
    if (isOpen) {
        misuse = true;
    }
    if (!present) {
        return unexpected(UsbOpenError{UsbOpenError::Kind::kNotFound, {}});
    }
    isOpen = openResult.has_value();
    return openResult;
}

int FakeUsbTransport::controlTransfer(std::uint8_t request, std::uint16_t value,
                                      std::uint16_t index, std::uint8_t* buffer,
                                      std::uint16_t length) {
    if (!isOpen) {
        misuse = true;
    }
    transfers.push_back({request, value, index, length});
    int reply = defaultReply;
    if (!transferReplies.empty()) {
        reply = transferReplies.front();
        transferReplies.pop_front();
    }
    if (reply > 0 && length > 0) {
        buffer[0] = answerByte;
        return 1;
    }
    return reply < 0 ? reply : 0;
}

void FakeUsbTransport::close() {
    ++closes;
    isOpen = false;
}

}  // namespace kalindor::test
