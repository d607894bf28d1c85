#pragma once
// Watches the X server for pointer button presses anywhere on the screen (also in other programs'
// windows), through X Input 2 raw events on the root window of a connection of its own, and
// reports where the pointer was. Without an X server, or one without X Input 2, or when the
// process has no descriptors left for its stop pipe, it reports nothing.
#include <functional>
#include <memory>

namespace qv::capture::x11 {

class ClickWatcher {
public:
    // Root-window pixels of a press of button 1, 2 or 3 (not wheel steps). Called on the
    // watcher's own thread.
    using Handler = std::function<void(int x, int y)>;

    // Starts watching at once.
    explicit ClickWatcher(Handler handler);
    // Stops and joins the watching thread; no call of the handler follows.
    ~ClickWatcher();
    ClickWatcher(const ClickWatcher&) = delete;
    ClickWatcher& operator=(const ClickWatcher&) = delete;

    // True once the X server has agreed to send the events (false without X or X Input 2).
    // Waits until the watcher knows.
    bool watching() const;

    struct Impl;

private:
    std::unique_ptr<Impl> impl_;
};

}  // namespace qv::capture::x11
