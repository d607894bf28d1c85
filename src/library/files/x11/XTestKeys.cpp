#include "library/files/x11/XTestKeys.h"

#include <X11/Xlib.h>
#include <X11/extensions/XTest.h>
#include <X11/keysym.h>

#include <memory>

namespace qv::library::x11 {

namespace {
struct DisplayCloser {
    void operator()(Display* d) const { XCloseDisplay(d); }
};
}  // namespace

bool postCtrlV() {
    std::unique_ptr<Display, DisplayCloser> display(XOpenDisplay(nullptr));
    if (!display) return false;
    int eventBase = 0, errorBase = 0, major = 0, minor = 0;
    if (!XTestQueryExtension(display.get(), &eventBase, &errorBase, &major, &minor)) return false;
    const KeyCode control = XKeysymToKeycode(display.get(), XK_Control_L);
    const KeyCode v = XKeysymToKeycode(display.get(), XK_v);
    if (control == 0 || v == 0) return false;
    XTestFakeKeyEvent(display.get(), control, True, CurrentTime);
    XTestFakeKeyEvent(display.get(), v, True, CurrentTime);
    XTestFakeKeyEvent(display.get(), v, False, CurrentTime);
    XTestFakeKeyEvent(display.get(), control, False, CurrentTime);
    XSync(display.get(), False);
    return true;
}

}  // namespace qv::library::x11
