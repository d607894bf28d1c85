#pragma once
// The one way into and out of full screen, for the View Option's "Full Screen" entry and the
// desktop's keys alike. Main thread only.
class QWidget;

namespace qv::app {

// Full screen on when it is off, off when it is on. The window returns to its normal frame itself.
void toggleFullScreen(QWidget* window);
// Leaves full screen; false (and nothing done) when the window is not full screen.
bool leaveFullScreen(QWidget* window);

}  // namespace qv::app
