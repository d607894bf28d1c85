#include <QDir>
#include <QFile>
#include <QFileInfo>

#include "capture/core/DeviceListing.h"
#include "capture/gst/DeviceProviders.h"
#include "capture/gst/SourceDevice.h"

namespace qv::gst {

namespace {

class MonitoredDevice : public SourceDevice {
public:
    explicit MonitoredDevice(DevicePtr device) : device_(std::move(device)) {}
    ElementPtr createSource() const override {
        GstElement* element = gst_device_create_element(device_.get(), nullptr);
        if (!element) return nullptr;
        return ElementPtr(GST_ELEMENT(gst_object_ref_sink(element)));
    }

private:
    DevicePtr device_;
};

QString propertyText(const GstStructure* props, const char* key) {
    if (!props || !gst_structure_has_field(props, key)) return {};
    const GValue* v = gst_structure_get_value(props, key);
    if (G_VALUE_HOLDS_STRING(v)) return QString::fromUtf8(g_value_get_string(v));
    CharPtr text(gst_value_serialize(v));
    return text ? QString::fromUtf8(text.get()) : QString();
}

QString readSysfs(const QString& path) {
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly)) return {};
    return QString::fromLatin1(f.readAll()).trimmed();
}

// USB ids of a V4L2 node from sysfs: the interface's parent USB device holds idVendor/idProduct.
QString sysfsIds(const QString& devicePath) {
    if (devicePath.isEmpty()) return {};
    QString dir = QFileInfo(QStringLiteral("/sys/class/video4linux/") + QFileInfo(devicePath).fileName() +
                            QStringLiteral("/device"))
                      .canonicalFilePath();
    for (int up = 0; up < 3 && !dir.isEmpty() && dir != QLatin1String("/"); ++up) {
        const QString vendor = capture::normalizedUsbId(readSysfs(dir + QStringLiteral("/idVendor")));
        const QString product = capture::normalizedUsbId(readSysfs(dir + QStringLiteral("/idProduct")));
        if (!vendor.isEmpty() && !product.isEmpty()) return vendor + product;
        dir = QFileInfo(dir).path();
    }
    return {};
}

QString devicePathOf(const GstStructure* props) {
    for (const char* key : {"api.v4l2.path", "device.path", "api.alsa.path", "object.path", "node.name", "device.string"}) {
        const QString v = propertyText(props, key);
        if (!v.isEmpty()) return v;
    }
    return {};
}

QString apiOf(const GstStructure* props) {
    QString api = propertyText(props, "device.api");
    if (api.isEmpty()) api = propertyText(props, "media.class").isEmpty() ? QStringLiteral("gst") : QStringLiteral("pipewire");
    return api;
}

struct Listed {
    DevicePtr device;
    StructurePtr props;
    QString api;
    QString path;
    QString name;
};

std::vector<Listed> listDevices(const char* klass) {
    ensureInitialized();
    std::vector<Listed> out;
    DeviceMonitorPtr monitor(gst_device_monitor_new());
    gst_device_monitor_add_filter(monitor.get(), klass, nullptr);
    if (!gst_device_monitor_start(monitor.get())) return out;
    GList* devices = gst_device_monitor_get_devices(monitor.get());
    for (GList* l = devices; l; l = l->next) {
        Listed d;
        d.device.reset(GST_DEVICE(l->data));  // takes the list's reference
        d.props.reset(gst_device_get_properties(d.device.get()));
        d.api = apiOf(d.props.get());
        d.path = devicePathOf(d.props.get());
        CharPtr name(gst_device_get_display_name(d.device.get()));
        d.name = name ? QString::fromUtf8(name.get()) : QString();
        out.push_back(std::move(d));
    }
    g_list_free(devices);
    gst_device_monitor_stop(monitor.get());
    return out;
}

QString subtypeOf(const GstStructure* s) {
    const char* media = gst_structure_get_name(s);
    if (g_str_equal(media, "image/jpeg")) return QStringLiteral("jpeg");
    if (!g_str_equal(media, "video/x-raw")) return {};
    const char* format = gst_structure_get_string(s, "format");
    if (!format) return {};
    if (g_str_equal(format, "YUY2")) return QStringLiteral("yuvs");
    if (g_str_equal(format, "NV12")) return QStringLiteral("420v");
    if (g_str_equal(format, "BGRx") || g_str_equal(format, "BGRA")) return QStringLiteral("BGRA");
    return QString::fromUtf8(format);
}

void addRange(capture::DeviceFormat& format, int minN, int minD, int maxN, int maxD) {
    format.frameRateRanges.push_back(
        std::make_shared<capture::FrameRateRange>(capture::FrameRateRange::fromRates(minN, minD, maxN, maxD)));
}

// One format per fixed-size caps structure; frame rates become ranges in the listed order.
void addFormats(SourceDevice& device, GstCaps* caps) {
    if (!caps) return;
    for (guint i = 0; i < gst_caps_get_size(caps); ++i) {
        const GstStructure* s = gst_caps_get_structure(caps, i);
        const QString subtype = subtypeOf(s);
        int width = 0, height = 0;
        if (subtype.isEmpty() || !gst_structure_get_int(s, "width", &width) || !gst_structure_get_int(s, "height", &height))
            continue;
        auto format = std::make_shared<capture::DeviceFormat>();
        format->mediaSubtype = subtype;
        format->width = width;
        format->height = height;
        const GValue* rate = gst_structure_get_value(s, "framerate");
        if (rate && GST_VALUE_HOLDS_FRACTION(rate)) {
            const int n = gst_value_get_fraction_numerator(rate), d = gst_value_get_fraction_denominator(rate);
            addRange(*format, n, d, n, d);
        } else if (rate && GST_VALUE_HOLDS_LIST(rate)) {
            for (guint k = 0; k < gst_value_list_get_size(rate); ++k) {
                const GValue* r = gst_value_list_get_value(rate, k);
                if (!GST_VALUE_HOLDS_FRACTION(r)) continue;
                const int n = gst_value_get_fraction_numerator(r), d = gst_value_get_fraction_denominator(r);
                addRange(*format, n, d, n, d);
            }
        } else if (rate && GST_VALUE_HOLDS_FRACTION_RANGE(rate)) {
            const GValue* lo = gst_value_get_fraction_range_min(rate);
            const GValue* hi = gst_value_get_fraction_range_max(rate);
            addRange(*format, gst_value_get_fraction_numerator(lo), gst_value_get_fraction_denominator(lo),
                     gst_value_get_fraction_numerator(hi), gst_value_get_fraction_denominator(hi));
        }
        StructurePtr plain(gst_structure_copy(s));
        gst_structure_remove_field(plain.get(), "framerate");
        CharPtr text(gst_structure_to_string(plain.get()));
        device.capsOfFormats.push_back(QString::fromUtf8(text.get()));
        device.formats.push_back(std::move(format));
    }
}

}  // namespace

std::vector<capture::CaptureDeviceRef> MonitorDeviceProvider::videoDevices() {
    std::vector<Listed> listed = listDevices("Video/Source");
    std::vector<capture::ListedDevice> plain;
    for (const Listed& d : listed) plain.push_back({d.api, d.path, d.name});
    std::vector<Listed*> chosen;
    for (std::size_t i : capture::onePerDeviceNode(plain)) chosen.push_back(&listed[i]);
    std::vector<capture::CaptureDeviceRef> out;
    for (Listed* d : chosen) {
        QString vendor = propertyText(d->props.get(), "device.vendor.id");
        QString product = propertyText(d->props.get(), "device.product.id");
        if (capture::normalizedUsbId(vendor).isEmpty() || capture::normalizedUsbId(product).isEmpty()) {
            const QString v4l2Path = propertyText(d->props.get(), "api.v4l2.path");
            const QString ids = sysfsIds(v4l2Path.isEmpty() ? d->path : v4l2Path);
            vendor = ids.left(4);
            product = ids.mid(4);
        }
        CapsPtr caps(gst_device_get_caps(d->device.get()));
        auto device = std::make_shared<MonitoredDevice>(DevicePtr(GST_DEVICE(gst_object_ref(d->device.get()))));
        device->kind = capture::CaptureDevice::Kind::Video;
        device->localizedName = d->name;
        device->uniqueID = capture::cameraUniqueID(d->api, d->path, vendor, product);
        addFormats(*device, caps.get());
        out.push_back(std::move(device));
    }
    return out;
}

std::vector<capture::CaptureDeviceRef> MonitorDeviceProvider::audioDevices() {
    std::vector<capture::CaptureDeviceRef> out;
    for (Listed& d : listDevices("Audio/Source")) {
        CharPtr klass(gst_device_get_device_class(d.device.get()));
        const QString deviceClass = propertyText(d.props.get(), "device.class");
        if (capture::isAudioMonitor(QString::fromUtf8(klass ? klass.get() : ""), deviceClass)) continue;
        auto device = std::make_shared<MonitoredDevice>(std::move(d.device));
        device->kind = capture::CaptureDevice::Kind::Audio;
        device->localizedName = d.name;
        device->uniqueID = d.api + QLatin1Char(':') + d.path;
        out.push_back(std::move(device));
    }
    return out;
}

}  // namespace qv::gst
