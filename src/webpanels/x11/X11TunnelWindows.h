#pragma once
// Window mirroring on an X11 desktop: other programs' windows listed from the window manager's
// client list, pictures read through the Composite extension (or straight from the screen where
// the server lacks it), windows moved and raised through the window manager (or plain X requests
// where no window manager answers). It keeps a display connection of its own and survives
// windows that close while it works with them.
#include <QByteArray>

#include <memory>

#include "webpanels/TunnelWindowSystem.h"

namespace qv::webpanels::x11 {

// The window system of the X display `displayName` (empty: $DISPLAY). Without an X display (for
// example Wayland without Xwayland) it lists nothing and says why in unavailableReason().
std::shared_ptr<TunnelWindowSystem> makeX11TunnelWindowSystem(const QByteArray& displayName = {});

}  // namespace qv::webpanels::x11
