#pragma once
// The program's HID transport: hidapi over the kernel's hidraw devices.
#include "capture/hid/HIDTransport.h"

#include <memory>

namespace qv::hid {

std::shared_ptr<HIDTransport> makeHidapiTransport();

}  // namespace qv::hid
