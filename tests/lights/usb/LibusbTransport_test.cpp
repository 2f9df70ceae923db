#include "lights/usb/LibusbTransport.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "lights/LightDeviceFactory.h"
#include "lights/usb/UsbIoBoard.h"

// These run against the real libusb on a machine without the board. Where the sandbox has no
// USB bus at all, libusb cannot start; that must read as "not connected" too, never a crash.

namespace kalindor {
namespace {

TEST(LibusbTransport, FindsNoBoardOnThisMachine) {
    LibusbTransport transport;
    const Expected<void, UsbOpenError> opened =
        transport.open(kUsbBoardVendorId, kUsbBoardProductId);
    ASSERT_FALSE(opened);
    const UsbOpenError& result = opened.error();
    ASSERT_TRUE(result.kind == UsbOpenError::Kind::kNotFound ||
                result.kind == UsbOpenError::Kind::kUnavailable)
        << "kind " << static_cast<int>(result.kind) << ": " << result.detail;
    if (result.kind == UsbOpenError::Kind::kUnavailable) {
        EXPECT_NE(result.detail.find("libusb"), std::string::npos) << result.detail;
    }
    // A second look answers the same (the context is made once, or its failure kept).
    const Expected<void, UsbOpenError> again =
        transport.open(kUsbBoardVendorId, kUsbBoardProductId);
    ASSERT_FALSE(again);
    EXPECT_EQ(again.error().kind, result.kind);
}

TEST(LibusbTransport, TransfersWithoutAnOpenBoardFail) {
    LibusbTransport transport;
    std::uint8_t answer = 0;
    EXPECT_LT(transport.controlTransfer(UsbIoBoard::kRequestGetInfraCode, 0, 0, &answer, 1), 0);
    transport.close();
    transport.close();
}

TEST(LibusbTransport, DefaultDeviceReportsNotConnectedAndAtMostOneProblem) {
    std::vector<std::string> problems;
    DeviceOptions options;
    options.onProblem = [&](const std::string& text) { problems.push_back(text); };
    auto device = createLightDevice(options).value();
    ASSERT_NE(device, nullptr);
    EXPECT_FALSE(probeDevice(*device));
    EXPECT_EQ(writePattern(*device, 255), kNotConnected);
    EXPECT_EQ(device->DoSetDataPortDirections(255, 255, 0, 3), kNotConnected);
    EXPECT_LE(problems.size(), 1u);
    for (const std::string& text : problems) {
        EXPECT_NE(text.find("USB"), std::string::npos) << text;
    }
}

}  // namespace
}  // namespace kalindor
