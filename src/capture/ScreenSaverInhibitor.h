#pragma once
// Keeps the desktop from blanking the screen or going idle while a recording runs, through the
// freedesktop screen saver service on the session bus where there is one (elsewhere nothing).
#include <QString>

#include <cstdint>
#include <optional>

namespace qv::capture {

class ScreenSaverInhibitor {
public:
    explicit ScreenSaverInhibitor(QString reason);
    ~ScreenSaverInhibitor();  // releases a held inhibition
    ScreenSaverInhibitor(const ScreenSaverInhibitor&) = delete;
    ScreenSaverInhibitor& operator=(const ScreenSaverInhibitor&) = delete;

    // Begins an inhibition (ending the one held before); returns whether the desktop granted it.
    bool begin();
    void end();
    bool isHeld() const { return cookie_.has_value(); }

private:
    QString reason_;
    std::optional<std::uint32_t> cookie_;
};

}  // namespace qv::capture
