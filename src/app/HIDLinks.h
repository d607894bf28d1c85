#pragma once

namespace qv::app {

// Lets the camera controller start the shared HID link for one of the maker's cameras.
void installHIDLinkStarter();

}  // namespace qv::app
