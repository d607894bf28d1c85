#pragma once
// The windows the presenter picked for mirroring since the program started, in front of the
// real window system. The picker lists every window and marks the one the presenter taps; the
// page may then ask for pictures of, and move, only marked windows: for any other number there
// is no picture and nothing moves. A pick ends when its window is destroyed: its number may then
// name another program's window, which the page never sees; the page is told the picked window
// has gone (no picture, and the alert when it is to be laid over its picture). Thread-safe.
#include <memory>
#include <mutex>
#include <set>

#include "webpanels/TunnelWindowSystem.h"

namespace qv::webpanels {

class PickedTunnelWindows : public TunnelWindowSystem {
public:
    // `windows` may be null: nothing to list, no pictures, nothing moves.
    explicit PickedTunnelWindows(std::shared_ptr<TunnelWindowSystem> windows);

    // The presenter picked this window (of process `pid` when listed with one, else 0); it stays
    // picked until it is destroyed.
    void pick(std::uint32_t windowId, qint64 pid = 0);
    // Picked, and its window still the one picked.
    bool isPicked(std::uint32_t windowId);

    QString unavailableReason() const override;
    std::vector<TunnelWindowEntry> listWindows() override;
    std::optional<QImage> windowPicture(std::uint32_t windowId) override;
    void positionTunnel(std::uint32_t windowId) override;
    TunnelPlacement controlTunnel(std::uint32_t windowId, const QRect& rectOnScreen) override;

private:
    enum class Pick { None, Live, Ended };
    Pick pickOf(std::uint32_t windowId);

    const std::shared_ptr<TunnelWindowSystem> windows_;
    std::mutex mutex_;
    std::set<std::uint32_t> picked_;
    std::set<std::uint32_t> ended_;  // picked, and destroyed since
};

}  // namespace qv::webpanels
