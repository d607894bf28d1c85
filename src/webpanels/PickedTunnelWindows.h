#pragma once
// The windows the presenter picked for mirroring since the program started, in front of the
// real window system. The picker lists every window and marks the one the presenter taps; the
// page may then ask for pictures of, and move, only marked windows: for any other number there
// is no picture and nothing moves. Thread-safe.
#include <memory>
#include <mutex>
#include <set>

#include "webpanels/TunnelWindowSystem.h"

namespace qv::webpanels {

class PickedTunnelWindows : public TunnelWindowSystem {
public:
    // `windows` may be null: nothing to list, no pictures, nothing moves.
    explicit PickedTunnelWindows(std::shared_ptr<TunnelWindowSystem> windows);

    // The presenter picked this window; it stays picked for the life of the program.
    void pick(std::uint32_t windowId);
    bool isPicked(std::uint32_t windowId) const;

    QString unavailableReason() const override;
    std::vector<TunnelWindowEntry> listWindows() override;
    std::optional<QImage> windowPicture(std::uint32_t windowId) override;
    void positionTunnel(std::uint32_t windowId) override;
    TunnelPlacement controlTunnel(std::uint32_t windowId, const QRect& rectOnScreen) override;

private:
    const std::shared_ptr<TunnelWindowSystem> windows_;
    mutable std::mutex mutex_;
    std::set<std::uint32_t> picked_;
};

}  // namespace qv::webpanels
