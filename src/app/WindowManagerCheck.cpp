#include "app/WindowManagerCheck.h"

#include <QGuiApplication>

#include <xcb/xcb.h>

#include <cstdlib>
#include <cstring>
#include <memory>

namespace qv::app {

namespace {

struct FreeReply {
    void operator()(void* reply) const { std::free(reply); }
};
template <typename T>
using Reply = std::unique_ptr<T, FreeReply>;

xcb_atom_t atomNamed(xcb_connection_t* c, const char* name) {
    const auto cookie = xcb_intern_atom(c, 1, uint16_t(std::strlen(name)), name);
    Reply<xcb_intern_atom_reply_t> reply(xcb_intern_atom_reply(c, cookie, nullptr));
    return reply ? reply->atom : xcb_atom_t(XCB_ATOM_NONE);
}

// The 32-bit items of a property, or nothing when it is absent or the window is gone.
Reply<xcb_get_property_reply_t> property(xcb_connection_t* c, xcb_window_t window, xcb_atom_t name,
                                         xcb_atom_t type) {
    const auto cookie = xcb_get_property(c, 0, window, name, type, 0, 4096);
    xcb_generic_error_t* error = nullptr;
    Reply<xcb_get_property_reply_t> reply(xcb_get_property_reply(c, cookie, &error));
    std::free(error);
    if (!reply || reply->type != type || reply->format != 32) return nullptr;
    return reply;
}

// The window the window manager names as its own, checked both ways so a stale one left by a
// window manager that quit does not count.
bool windowManagerRuns(xcb_connection_t* c, xcb_window_t root, xcb_atom_t check) {
    const auto onRoot = property(c, root, check, XCB_ATOM_WINDOW);
    if (!onRoot || xcb_get_property_value_length(onRoot.get()) < 4) return false;
    const xcb_window_t child = *static_cast<const xcb_window_t*>(xcb_get_property_value(onRoot.get()));
    const auto onChild = property(c, child, check, XCB_ATOM_WINDOW);
    return onChild && xcb_get_property_value_length(onChild.get()) >= 4 &&
           *static_cast<const xcb_window_t*>(xcb_get_property_value(onChild.get())) == child;
}

}  // namespace

bool windowManagerFillsScreens() {
    auto* x11 = qGuiApp ? qGuiApp->nativeInterface<QNativeInterface::QX11Application>() : nullptr;
    xcb_connection_t* c = x11 ? x11->connection() : nullptr;
    if (!c) return true;
    const xcb_screen_t* screen = xcb_setup_roots_iterator(xcb_get_setup(c)).data;
    if (!screen) return true;
    if (!windowManagerRuns(c, screen->root, atomNamed(c, "_NET_SUPPORTING_WM_CHECK"))) return false;
    const auto supported = property(c, screen->root, atomNamed(c, "_NET_SUPPORTED"), XCB_ATOM_ATOM);
    if (!supported) return false;
    const xcb_atom_t fullScreen = atomNamed(c, "_NET_WM_STATE_FULLSCREEN");
    const auto* atoms = static_cast<const xcb_atom_t*>(xcb_get_property_value(supported.get()));
    const int count = xcb_get_property_value_length(supported.get()) / int(sizeof(xcb_atom_t));
    for (int i = 0; i < count; ++i)
        if (atoms[i] == fullScreen) return true;
    return false;
}

}  // namespace qv::app
