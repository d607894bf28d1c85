#include "app/HIDLinks.h"

#include "capture/CameraController.h"
#include "capture/hid/HIDCameraInfo.h"
#include "capture/hid/link/QVHIDDevice.h"

namespace qv::app {

void installHIDLinkStarter() {
    capture::CameraController::setHIDLinkStarter([](const capture::VemoCamera& camera) {
        hid::HIDCameraInfo info;
        info.vendorID = camera.vendorID;
        info.productID = camera.productID;
        info.reportSize = camera.reportSize;
        info.isASRSupported = camera.isASRSupported;
        info.isHIDControlSupported = camera.isHIDControlSupported;
        info.isHIDButtonSupported = camera.isHIDButtonSupported;
        // One link for the whole process: a new main camera retargets it.
        auto& link = hid::QVHIDDevice::shared();
        link.setVemoCamera(info);
        link.start();
    });
}

}  // namespace qv::app
