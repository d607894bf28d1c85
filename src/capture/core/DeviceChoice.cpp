#include "capture/core/DeviceChoice.h"

#include <cmath>

#include "state/QtPrint.h"

namespace qv::capture {

bool insertDiscoveredCamera(std::vector<VemoCamera>& cameras, VemoCamera camera) {
    if (camera.isQuorvane) {
        scanPreferredFormats(camera);
        const bool behindFront = !cameras.empty() && !camera.isWendle && cameras.front().isQuorvane;
        cameras.insert(cameras.begin() + (behindFront ? 1 : 0), std::move(camera));
        return true;
    }
    if (!camera.name || camera.name->contains(QLatin1String("AppCam"))) {
        const QString shown = camera.name ? QLatin1Char('"') + *camera.name + QLatin1Char('"') : QStringLiteral("nil");
        util::printLine(shown + QStringLiteral(" is a virtual camera."));
        return false;
    }
    cameras.push_back(std::move(camera));
    return true;
}

void insertDiscoveredMic(std::vector<VemoMic>& mics, VemoMic mic) {
    if (mic.isQuorvane) mics.insert(mics.begin(), std::move(mic));
    else mics.push_back(std::move(mic));
}

long long roundHalfAwayFromZero(double value) { return std::llround(value); }

void scanPreferredFormats(VemoCamera& camera) {
    if (!camera.camera) return;
    for (const DeviceFormatRef& format : camera.camera->formats) {
        if (format->mediaSubtype == QLatin1String("yuvs")) continue;
        DeviceFormatRef* formatField = nullptr;
        FrameRateRangeRef* rangeField = nullptr;
        if (format->width == 1920) {
            formatField = &camera.fullHDFmt;
            rangeField = &camera.fullHDFps;
        } else if (format->width == 1280) {
            formatField = &camera.hdFmt;
            rangeField = &camera.hdFps;
        } else if (format->width == 3840) {
            formatField = &camera.ultraHDFmt;
            rangeField = &camera.ultraHDFps;
        } else {
            continue;
        }
        *formatField = format;
        for (const FrameRateRangeRef& range : format->frameRateRanges) {
            if (roundHalfAwayFromZero(range->maxFrameRate) > 25) {
                *rangeField = range;
                break;
            }
        }
    }
}

namespace {

bool contains(const DeviceFormat& format, const FrameRateRangeRef& range) {
    for (const auto& r : format.frameRateRanges)
        if (r == range) return true;
    return false;
}

// The range of the format itself that serves a stored range: the stored one when it belongs to
// the format, else the format's own range with the highest rate above 25 frames per second.
FrameRateRangeRef ownRange(const DeviceFormat& format, const FrameRateRangeRef& stored) {
    if (!stored) return nullptr;
    if (contains(format, stored)) return stored;
    FrameRateRangeRef best;
    for (const auto& r : format.frameRateRanges)
        if (!best || r->maxFrameRate > best->maxFrameRate) best = r;
    return best;
}

FrameDuration clampInto(const FrameDuration& d, const FrameRateRange& range) {
    if (compare(d, range.minFrameDuration) < 0) return range.minFrameDuration;
    if (compare(d, range.maxFrameDuration) > 0) return range.maxFrameDuration;
    return d;
}

}  // namespace

std::optional<FormatChoice> chooseFormat(const VemoCamera& camera, bool fullHD, bool ultraHD) {
    DeviceFormatRef format;
    FrameRateRangeRef range;
    if (fullHD && camera.fullHDFmt) {
        format = camera.fullHDFmt;
        range = camera.fullHDFps;
    } else if (ultraHD && camera.ultraHDFmt) {
        format = camera.ultraHDFmt;
        range = camera.ultraHDFps;
    } else if (camera.hdFmt) {
        format = camera.hdFmt;
        range = camera.hdFps;
    } else {
        return std::nullopt;
    }
    FormatChoice choice;
    choice.format = format;
    const FrameRateRangeRef own = ownRange(*format, range);
    if (!own) return choice;
    FrameDuration maxDuration = range->maxFrameDuration;
    FrameDuration minDuration = range->minFrameDuration;
    if (!camera.isWendle) {
        const FrameDuration thirtieth{1, 30};
        minDuration = compare(thirtieth, range->maxFrameDuration) < 0 ? thirtieth : range->maxFrameDuration;
    }
    choice.minFrameDuration = clampInto(minDuration, *own);
    choice.maxFrameDuration = clampInto(maxDuration, *own);
    return choice;
}

}  // namespace qv::capture
