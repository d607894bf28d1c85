#include "capture/core/DeviceRecords.h"

#include <QHash>
#include <QStringList>

#include <algorithm>
#include <array>

#include "state/QtPrint.h"

namespace qv::capture {

FrameRateRange FrameRateRange::fromRates(std::int32_t minNum, std::int32_t minDen, std::int32_t maxNum,
                                         std::int32_t maxDen) {
    FrameRateRange r;
    r.minFrameRate = minDen ? double(minNum) / minDen : 0.0;
    r.maxFrameRate = maxDen ? double(maxNum) / maxDen : 0.0;
    r.minFrameDuration = {maxDen, maxNum};
    r.maxFrameDuration = {minDen, minNum};
    return r;
}

bool isOwnBrandName(const QString& name) {
    const QString lower = name.toLower();
    return lower.contains(QLatin1String("quorvane")) || lower.contains(QLatin1String("pimlet"));
}

std::optional<std::int64_t> parseHexInteger(std::string_view text) {
    bool negative = false;
    if (!text.empty() && (text.front() == '+' || text.front() == '-')) {
        negative = text.front() == '-';
        text.remove_prefix(1);
    }
    if (text.empty() || text.size() > 15) return std::nullopt;
    std::int64_t value = 0;
    for (char c : text) {
        int digit;
        if (c >= '0' && c <= '9') digit = c - '0';
        else if (c >= 'a' && c <= 'f') digit = c - 'a' + 10;
        else if (c >= 'A' && c <= 'F') digit = c - 'A' + 10;
        else return std::nullopt;
        value = value * 16 + digit;
    }
    return negative ? -value : value;
}

std::optional<UsbIds> usbIdsFromUniqueID(const QString& uniqueID) {
    const std::string id = uniqueID.toStdString();
    const std::string_view all(id);
    const std::string_view productText = all.size() > 4 ? all.substr(all.size() - 4) : all;
    const std::string_view last8 = all.size() > 8 ? all.substr(all.size() - 8) : all;
    const std::string_view vendorText = last8.substr(0, std::min<size_t>(4, last8.size()));
    const auto product = parseHexInteger(productText);
    const auto vendor = parseHexInteger(vendorText);
    if (!product || !vendor) return std::nullopt;
    return UsbIds{*vendor, *product};
}

VemoCamera::VemoCamera(CaptureDeviceRef device) : id(QUuid::createUuid()), camera(std::move(device)) {
    name = camera->localizedName;
    isQuorvane = isOwnBrandName(camera->localizedName);
    uniqueID = camera->uniqueID;
    const auto ids = usbIdsFromUniqueID(uniqueID);
    if (!ids) {
        util::printLine(QStringLiteral("Old Macbook Air: camera.uniqueID = ") + uniqueID);
        return;
    }
    productID = ids->productID;
    vendorID = ids->vendorID;
    if (vendorID != makerUSBVendorID) return;
    static constexpr std::array<std::int64_t, 5> asrModels{34, 36, 38, 41, 22};
    static constexpr std::array<std::int64_t, 5> hidControlModels{34, 36, 38, 41, 22};
    static constexpr std::array<std::int64_t, 3> hidButtonModels{43, 44, 45};
    auto has = [&](const auto& list) { return std::find(list.begin(), list.end(), productID) != list.end(); };
    if (has(asrModels)) {
        isASRSupported = true;
        reportSize = 24;
    }
    if (has(hidControlModels)) {
        isHIDControlSupported = true;
        reportSize = 24;
    }
    if (has(hidButtonModels)) {
        isHIDButtonSupported = true;
        reportSize = 1;
    }
    isWendle = name && name->toLower().contains(QLatin1String("wendle"));
}

VemoMic::VemoMic(CaptureDeviceRef device) : id(QUuid::createUuid()), mic(std::move(device)) {
    name = mic->localizedName;
    isQuorvane = isOwnBrandName(mic->localizedName);
}

namespace {
template <typename T>
size_t hashOptional(const std::optional<T>& v, size_t seed) {
    seed = qHashMulti(seed, v.has_value());
    return v ? ::qHash(*v, seed) : seed;
}
template <typename T>
size_t hashRef(const std::shared_ptr<T>& p, size_t seed) {
    seed = qHashMulti(seed, p != nullptr);
    return p ? ::qHash(reinterpret_cast<quintptr>(p.get()), seed) : seed;
}
}  // namespace

size_t qHash(const VemoCamera& c, size_t seed) {
    seed = qHashMulti(seed, c.id, c.uniqueID);
    seed = hashOptional(c.name, seed);
    seed = hashRef(c.camera, seed);
    seed = hashRef(c.fullHDFmt, seed);
    seed = hashRef(c.fullHDFps, seed);
    seed = hashRef(c.hdFmt, seed);
    seed = hashRef(c.hdFps, seed);
    seed = hashRef(c.ultraHDFmt, seed);
    seed = hashRef(c.ultraHDFps, seed);
    return qHashMulti(seed, c.isQuorvane, c.vendorID, c.productID, c.reportSize, c.isASRSupported,
                      c.isHIDControlSupported, c.isHIDButtonSupported, c.isWendle);
}

size_t qHash(const VemoMic& m, size_t seed) { return hashOptional(m.name, seed); }

namespace {
template <typename Record>
QString listText(const std::vector<Record>& records) {
    QStringList names;
    for (const auto& r : records) names << r.description();
    return QLatin1Char('[') + names.join(QLatin1String(", ")) + QLatin1Char(']');
}
}  // namespace

QString describeList(const std::vector<VemoCamera>& cameras) { return listText(cameras); }
QString describeList(const std::vector<VemoMic>& mics) { return listText(mics); }

}  // namespace qv::capture
