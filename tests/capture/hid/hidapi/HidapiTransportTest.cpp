// The real hidapi backend, on a machine where none of the maker's devices is attached.
#include "capture/hid/HIDCameraInfo.h"
#include "capture/hid/hidapi/HidapiTransport.h"

#include <gtest/gtest.h>

namespace qv::hid {
namespace {

TEST(HIDHidapiTransport, EnumeratesNothingWithoutDeviceOrWithZeroIds) {
    const auto transport = makeHidapiTransport();
    // No camera of the maker is attached to a test machine.
    EXPECT_TRUE(transport->enumerate(static_cast<std::uint16_t>(makerVendorID), 41).empty());
    // hidapi itself reads 0 as "any device"; the backend must not hand out keyboards and mice.
    EXPECT_TRUE(transport->enumerate(0, 0).empty());
    EXPECT_TRUE(transport->enumerate(static_cast<std::uint16_t>(makerVendorID), 0).empty());
    EXPECT_TRUE(transport->enumerate(0, 41).empty());
}

TEST(HIDHidapiTransport, OpeningAPathThatIsNotThereFails) {
    const auto transport = makeHidapiTransport();
    EXPECT_EQ(transport->open({"/dev/hidraw-none-such", 1, 1}), nullptr);
}

}  // namespace
}  // namespace qv::hid
