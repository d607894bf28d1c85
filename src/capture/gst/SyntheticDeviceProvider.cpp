#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

#include <cmath>
#include <stdexcept>

#include "state/QtPrint.h"
#include "capture/gst/DeviceProviders.h"
#include "capture/gst/SourceDevice.h"

namespace qv::gst {

namespace {

// The raw or encoded caps a synthetic source gives for a four-character subtype.
QString capsForSubtype(const QString& subtype, int width, int height) {
    const QString size = QStringLiteral(", width=(int)%1, height=(int)%2").arg(width).arg(height);
    if (subtype == QLatin1String("jpeg")) return QStringLiteral("image/jpeg") + size;
    QString raw = QStringLiteral("NV12");
    if (subtype == QLatin1String("yuvs")) raw = QStringLiteral("YUY2");
    else if (subtype == QLatin1String("BGRA")) raw = QStringLiteral("BGRx");
    return QStringLiteral("video/x-raw, format=(string)%1").arg(raw) + size;
}

class SyntheticCamera : public SourceDevice {
public:
    QString pattern = QStringLiteral("smpte");

    ElementPtr createSource() const override {
        ensureInitialized();
        // A motion-JPEG format is really encoded, so the decoding branch runs as with a webcam.
        bool anyJpeg = false;
        for (const auto& f : formats) anyJpeg = anyJpeg || f->mediaSubtype == QLatin1String("jpeg");
        const QString test = QStringLiteral("videotestsrc is-live=true pattern=%1").arg(pattern);
        const QString description =
            anyJpeg ? test + QStringLiteral(" ! video/x-raw,format=I420 ! jpegenc quality=60") : test;
        GError* raw = nullptr;
        GstElement* bin = gst_parse_bin_from_description(description.toUtf8().constData(), TRUE, &raw);
        ErrorPtr error(raw);
        if (!bin) return nullptr;
        return ElementPtr(GST_ELEMENT(gst_object_ref_sink(bin)));
    }
};

class SyntheticMicrophone : public SourceDevice {
public:
    QString wave = QStringLiteral("sine");
    ElementPtr createSource() const override {
        ensureInitialized();
        GstElement* src = gst_element_factory_make("audiotestsrc", nullptr);
        if (!src) return nullptr;
        gst_util_set_object_arg(G_OBJECT(src), "wave", wave.toUtf8().constData());
        g_object_set(src, "is-live", TRUE, "volume", 0.1, nullptr);
        return ElementPtr(GST_ELEMENT(gst_object_ref_sink(src)));
    }
};

capture::FrameRateRangeRef rangeFrom(const QJsonArray& pair) {
    // Rates as decimals; 29.97 and friends become their exact NTSC fractions.
    auto fraction = [](double rate, std::int32_t& num, std::int32_t& den) {
        if (std::abs(rate - std::round(rate)) < 1e-9) {
            num = std::int32_t(std::round(rate));
            den = 1;
            return;
        }
        const double ntsc = rate * 1001.0 / 1000.0;
        if (std::abs(ntsc - std::round(ntsc)) < 1e-3) {
            num = std::int32_t(std::round(ntsc)) * 1000;
            den = 1001;
            return;
        }
        num = std::int32_t(std::round(rate * 1000.0));
        den = 1000;
    };
    std::int32_t minNum, minDen, maxNum, maxDen;
    fraction(pair.at(0).toDouble(), minNum, minDen);
    fraction(pair.at(1).toDouble(), maxNum, maxDen);
    return std::make_shared<capture::FrameRateRange>(capture::FrameRateRange::fromRates(minNum, minDen, maxNum, maxDen));
}

}  // namespace

SyntheticDeviceProvider::SyntheticDeviceProvider(const QString& fixturePath) {
    QFile file(fixturePath);
    if (!file.open(QIODevice::ReadOnly)) throw std::runtime_error("cannot read " + fixturePath.toStdString());
    QJsonParseError parseError;
    const QJsonDocument doc = QJsonDocument::fromJson(file.readAll(), &parseError);
    if (!doc.isObject()) throw std::runtime_error(parseError.errorString().toStdString());
    const QJsonObject root = doc.object();
    for (const QJsonValue& value : root.value(QLatin1String("cameras")).toArray()) {
        const QJsonObject o = value.toObject();
        auto camera = std::make_shared<SyntheticCamera>();
        camera->kind = capture::CaptureDevice::Kind::Video;
        camera->localizedName = o.value(QLatin1String("name")).toString();
        camera->uniqueID = o.value(QLatin1String("uniqueID")).toString();
        camera->pattern = o.value(QLatin1String("pattern")).toString(QStringLiteral("smpte"));
        camera->activeFormatIndex = o.value(QLatin1String("activeFormat")).toInt(0);
        for (const QJsonValue& fv : o.value(QLatin1String("formats")).toArray()) {
            const QJsonObject f = fv.toObject();
            auto format = std::make_shared<capture::DeviceFormat>();
            format->mediaSubtype = f.value(QLatin1String("subtype")).toString(QStringLiteral("420v"));
            format->width = f.value(QLatin1String("width")).toInt();
            format->height = f.value(QLatin1String("height")).toInt();
            for (const QJsonValue& rv : f.value(QLatin1String("frameRates")).toArray())
                format->frameRateRanges.push_back(rangeFrom(rv.toArray()));
            camera->capsOfFormats.push_back(capsForSubtype(format->mediaSubtype, format->width, format->height));
            camera->formats.push_back(std::move(format));
        }
        cameras_.push_back(std::move(camera));
    }
    for (const QJsonValue& value : root.value(QLatin1String("microphones")).toArray()) {
        const QJsonObject o = value.toObject();
        auto mic = std::make_shared<SyntheticMicrophone>();
        mic->kind = capture::CaptureDevice::Kind::Audio;
        mic->localizedName = o.value(QLatin1String("name")).toString();
        mic->uniqueID = o.value(QLatin1String("uniqueID")).toString();
        mic->wave = o.value(QLatin1String("wave")).toString(QStringLiteral("sine"));
        mics_.push_back(std::move(mic));
    }
}

std::unique_ptr<capture::DeviceProvider> makeDeviceProvider() {
    const QByteArray fixture = qgetenv(syntheticDevicesVariable);
    if (fixture.isEmpty()) return std::make_unique<MonitorDeviceProvider>();
    try {
        return std::make_unique<SyntheticDeviceProvider>(QString::fromLocal8Bit(fixture));
    } catch (const std::exception& e) {
        util::printLine(QStringLiteral("Synthetic devices unusable:"), QString::fromLocal8Bit(fixture), e.what());
        struct Empty : capture::DeviceProvider {
            std::vector<capture::CaptureDeviceRef> videoDevices() override { return {}; }
            std::vector<capture::CaptureDeviceRef> audioDevices() override { return {}; }
        };
        return std::make_unique<Empty>();
    }
}

}  // namespace qv::gst
