#pragma once
// The edition and capability flags that decide which buttons the control bar shows.
namespace qv::controlbar {

struct ToggleModel {
    bool offlineMode = false;
    bool allowPIP = true;          // the PIP entry of the View Option popover
    bool isWendle = false;         // "Open File" and "Browsers" instead of the rotate entries
    bool allowHIDControl = false;  // the Focus and Adjust buttons
    bool allowDocCam = false;      // the Doc Camera entry of the Browsers popover

    bool operator==(const ToggleModel&) const = default;
};

}  // namespace qv::controlbar
