#include "webpanels/PickedTunnelWindows.h"

namespace qv::webpanels {

PickedTunnelWindows::PickedTunnelWindows(std::shared_ptr<TunnelWindowSystem> windows) : windows_(std::move(windows)) {}

void PickedTunnelWindows::pick(std::uint32_t windowId, qint64 pid) {
    // A window gone before it was picked is picked as ended: the page learns it is gone.
    const bool live = windows_ && windows_->watchWindow(windowId, pid);
    std::lock_guard lock(mutex_);
    picked_.insert(windowId);
    if (live)
        ended_.erase(windowId);
    else
        ended_.insert(windowId);
}

PickedTunnelWindows::Pick PickedTunnelWindows::pickOf(std::uint32_t windowId) {
    {
        std::lock_guard lock(mutex_);
        if (!picked_.count(windowId)) return Pick::None;
        if (ended_.count(windowId)) return Pick::Ended;
    }
    if (!windows_ || !windows_->windowDestroyed(windowId)) return Pick::Live;
    std::lock_guard lock(mutex_);
    ended_.insert(windowId);
    return Pick::Ended;
}

bool PickedTunnelWindows::isPicked(std::uint32_t windowId) { return pickOf(windowId) == Pick::Live; }

QString PickedTunnelWindows::unavailableReason() const {
    return windows_ ? windows_->unavailableReason() : QString();
}

std::vector<TunnelWindowEntry> PickedTunnelWindows::listWindows() {
    return windows_ ? windows_->listWindows() : std::vector<TunnelWindowEntry>{};
}

std::optional<QImage> PickedTunnelWindows::windowPicture(std::uint32_t windowId) {
    if (!windows_ || !isPicked(windowId)) return std::nullopt;
    return windows_->windowPicture(windowId);
}

void PickedTunnelWindows::positionTunnel(std::uint32_t windowId) {
    if (windows_ && isPicked(windowId)) windows_->positionTunnel(windowId);
}

TunnelPlacement PickedTunnelWindows::controlTunnel(std::uint32_t windowId, const QRect& rectOnScreen) {
    switch (pickOf(windowId)) {
    case Pick::None:
        return TunnelPlacement::Ignored;
    case Pick::Ended:
        return TunnelPlacement::WindowGone;
    case Pick::Live:
        break;
    }
    return windows_ ? windows_->controlTunnel(windowId, rectOnScreen) : TunnelPlacement::Ignored;
}

}  // namespace qv::webpanels
