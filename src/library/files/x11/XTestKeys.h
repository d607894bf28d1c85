#pragma once
// Synthetic keystrokes through the X test extension, on a display connection of their own.
// The only code of the file library that includes X11 headers.
namespace qv::library::x11 {

// Presses and releases Ctrl+V for the window that has the keyboard focus on $DISPLAY. False when
// the display cannot be opened or has no test extension.
bool postCtrlV();

}  // namespace qv::library::x11
