#pragma once
// The records of the capture devices the program can use: one `VemoCamera` per video device,
// one `VemoMic` per audio device, with the rules that read a camera's USB identity and HID
// capabilities from its unique id and the own-brand test on device names.
#include <QMetaType>
#include <QString>
#include <QUuid>

#include <cstdint>
#include <memory>
#include <optional>
#include <string_view>
#include <vector>

#include "capture/hid/HIDCameraInfo.h"

namespace qv::capture {

// The USB vendor id of the maker's own devices (the one the HID link matches).
inline constexpr std::int64_t makerUSBVendorID = hid::makerVendorID;

// A frame duration as value / timescale seconds (1/30 is {1, 30}).
struct FrameDuration {
    std::int64_t value = 0;
    std::int32_t timescale = 1;

    double seconds() const { return timescale ? double(value) / double(timescale) : 0.0; }
    // Exact comparison by cross-multiplication: negative, zero or positive.
    friend int compare(const FrameDuration& a, const FrameDuration& b) {
        const __int128 l = (__int128)a.value * b.timescale;
        const __int128 r = (__int128)b.value * a.timescale;
        return l < r ? -1 : (l > r ? 1 : 0);
    }
    friend bool operator==(const FrameDuration& a, const FrameDuration& b) { return compare(a, b) == 0; }
};

// The frame rates a format supports between two limits (both included).
struct FrameRateRange {
    double minFrameRate = 0;
    double maxFrameRate = 0;
    FrameDuration minFrameDuration;  // 1 / maxFrameRate
    FrameDuration maxFrameDuration;  // 1 / minFrameRate

    // A range from two rates given as fractions frames/seconds (for example 30000/1001).
    static FrameRateRange fromRates(std::int32_t minNum, std::int32_t minDen, std::int32_t maxNum, std::int32_t maxDen);
};
using FrameRateRangeRef = std::shared_ptr<const FrameRateRange>;

// One capture format of a device. `mediaSubtype` is a four-character code: "yuvs" (packed 4:2:2),
// "420v" (planar 4:2:0), "jpeg" (motion JPEG) or "BGRA".
struct DeviceFormat {
    QString mediaSubtype;
    int width = 0;
    int height = 0;
    std::vector<FrameRateRangeRef> frameRateRanges;
};
using DeviceFormatRef = std::shared_ptr<const DeviceFormat>;

// One capture device as a device provider reports it. Providers derive from it to keep what
// they need to open the device.
class CaptureDevice {
public:
    enum class Kind { Video, Audio };
    virtual ~CaptureDevice() = default;

    Kind kind = Kind::Video;
    QString uniqueID;
    QString localizedName;
    std::vector<DeviceFormatRef> formats;  // video devices only
    int activeFormatIndex = 0;             // the format the device uses when it is not told otherwise

    DeviceFormatRef activeFormat() const {
        if (activeFormatIndex < 0 || activeFormatIndex >= int(formats.size())) return nullptr;
        return formats[size_t(activeFormatIndex)];
    }
};
using CaptureDeviceRef = std::shared_ptr<const CaptureDevice>;

// Own-brand test on a device's name: its lower-case form contains "quorvane", or else "pimlet".
bool isOwnBrandName(const QString& name);

// Parses a base-16 integer: an optional leading sign, then digits 0-9, a-f, A-F; nothing else.
std::optional<std::int64_t> parseHexInteger(std::string_view text);

struct UsbIds {
    std::int64_t vendorID = 0;
    std::int64_t productID = 0;
};
// The USB vendor and product id at the end of a unique id ("....VVVVPPPP"), or none when the
// last characters are not hexadecimal numbers.
std::optional<UsbIds> usbIdsFromUniqueID(const QString& uniqueID);

struct VemoCamera {
    QUuid id;
    QString uniqueID;
    std::optional<QString> name;
    CaptureDeviceRef camera;
    DeviceFormatRef fullHDFmt;
    FrameRateRangeRef fullHDFps;
    DeviceFormatRef hdFmt;
    FrameRateRangeRef hdFps;
    DeviceFormatRef ultraHDFmt;
    FrameRateRangeRef ultraHDFps;
    bool isQuorvane = false;
    std::int64_t vendorID = 0;
    std::int64_t productID = 0;
    int reportSize = 24;
    bool isASRSupported = false;
    bool isHIDControlSupported = false;
    bool isHIDButtonSupported = false;
    bool isWendle = false;

    VemoCamera() = default;
    // Builds the record of one video device (prints a line when its unique id holds no USB ids).
    explicit VemoCamera(CaptureDeviceRef device);

    QString description() const { return name.value_or(QString()); }
    friend bool operator==(const VemoCamera&, const VemoCamera&) = default;
};

struct VemoMic {
    QUuid id;
    std::optional<QString> name;
    CaptureDeviceRef mic;
    bool isQuorvane = false;
    QString test = QStringLiteral("hello");

    VemoMic() = default;
    explicit VemoMic(CaptureDeviceRef device);

    QString description() const { return name.value_or(QString()); }
    friend bool operator==(const VemoMic&, const VemoMic&) = default;
};

size_t qHash(const VemoCamera& camera, size_t seed = 0);
size_t qHash(const VemoMic& mic, size_t seed = 0);

// "[name, name, ...]": the form in which the device lists are printed.
QString describeList(const std::vector<VemoCamera>& cameras);
QString describeList(const std::vector<VemoMic>& mics);

}  // namespace qv::capture

Q_DECLARE_METATYPE(qv::capture::VemoCamera)
Q_DECLARE_METATYPE(qv::capture::VemoMic)
