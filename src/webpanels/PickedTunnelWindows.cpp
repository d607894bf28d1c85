#include "webpanels/PickedTunnelWindows.h"

namespace qv::webpanels {

PickedTunnelWindows::PickedTunnelWindows(std::shared_ptr<TunnelWindowSystem> windows) : windows_(std::move(windows)) {}

void PickedTunnelWindows::pick(std::uint32_t windowId) {
    std::lock_guard lock(mutex_);
    picked_.insert(windowId);
}

bool PickedTunnelWindows::isPicked(std::uint32_t windowId) const {
    std::lock_guard lock(mutex_);
    return picked_.count(windowId) != 0;
}

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
    if (!windows_ || !isPicked(windowId)) return TunnelPlacement::Ignored;
    return windows_->controlTunnel(windowId, rectOnScreen);
}

}  // namespace qv::webpanels
