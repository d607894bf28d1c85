#pragma once
// Whether the desktop's window manager makes a window full screen when asked. On an X11 display
// with no window manager (a bare X server, a kiosk session) nothing acts on the full-screen state
// Qt sets, and the window has to cover its screen by itself.

namespace qv::app {

// True outside X11 and where an EWMH window manager runs that supports _NET_WM_STATE_FULLSCREEN.
// Asked anew each time: a window manager may start or quit while the program runs.
bool windowManagerFillsScreens();

}  // namespace qv::app
