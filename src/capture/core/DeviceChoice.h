#pragma once
// The rules that order discovered devices, pick an own-brand camera's preferred formats and
// choose the capture format and frame durations for a resolution setting.
#include <optional>
#include <vector>

#include "capture/core/DeviceRecords.h"

namespace qv::capture {

// Places one discovered camera into the list being built: own-brand cameras go first (a plain
// own-brand camera after an own-brand one already in front), other cameras at the end, and
// cameras without a name or with "AppCam" in it are skipped with a printed line.
// Returns false when the camera was skipped.
bool insertDiscoveredCamera(std::vector<VemoCamera>& cameras, VemoCamera camera);

// Own-brand microphones go first (the last one found in front), the others at the end.
void insertDiscoveredMic(std::vector<VemoMic>& mics, VemoMic mic);

// Fills the six preferred format and range fields of an own-brand camera from its device's
// formats: the last non-"yuvs" format of each width 1920, 1280, 3840, and the first range of it
// whose highest rate, rounded half away from zero, exceeds 25.
void scanPreferredFormats(VemoCamera& camera);

// Rounds half away from zero.
long long roundHalfAwayFromZero(double value);

// The format and frame durations applied to a camera for a resolution setting.
struct FormatChoice {
    DeviceFormatRef format;
    // Present when the format has a usable frame-rate range; both lie inside the format's own range.
    std::optional<FrameDuration> minFrameDuration;
    std::optional<FrameDuration> maxFrameDuration;

    // The highest frame rate the choice allows, as a fraction num/den (from minFrameDuration).
    bool hasFrameRate() const { return minFrameDuration.has_value(); }
};

// First match wins: full HD when asked and known, else ultra HD when asked and known, else HD when
// known, else none (the device keeps its current format).
// The frame durations come from the stored range; a camera that is not of the Wendle line caps
// its rate at 30 frames per second. Both durations are clamped into the range that belongs to
// the chosen format itself (a stored range of an earlier format of the same width, or a rate
// above the format's own highest, is never applied as such).
std::optional<FormatChoice> chooseFormat(const VemoCamera& camera, bool fullHD, bool ultraHD);

}  // namespace qv::capture
