#include "capture/core/DeviceListing.h"

#include <QHash>

namespace qv::capture {

std::vector<std::size_t> onePerDeviceNode(const std::vector<ListedDevice>& devices) {
    std::vector<std::size_t> chosen;
    QHash<QString, std::size_t> slotOfNode;
    for (std::size_t i = 0; i < devices.size(); ++i) {
        const ListedDevice& d = devices[i];
        const QString key = d.node.isEmpty() ? d.api + QLatin1Char(':') + d.name : d.node;
        const auto it = slotOfNode.constFind(key);
        if (it == slotOfNode.constEnd()) {
            slotOfNode.insert(key, chosen.size());
            chosen.push_back(i);
        } else if (d.api == QLatin1String("v4l2") && devices[chosen[*it]].api != QLatin1String("v4l2")) {
            chosen[*it] = i;
        }
    }
    return chosen;
}

bool isAudioMonitor(const QString& deviceClassName, const QString& deviceClassProperty) {
    return deviceClassName.contains(QLatin1String("Monitor")) || deviceClassProperty == QLatin1String("monitor");
}

QString normalizedUsbId(const QString& text) {
    QString t = text.trimmed().toLower();
    if (t.startsWith(QLatin1String("0x"))) t = t.mid(2);
    bool ok = false;
    const uint value = t.toUInt(&ok, 16);
    if (t.isEmpty() || !ok || value > 0xffff) return {};
    return QStringLiteral("%1").arg(value, 4, 16, QLatin1Char('0'));
}

QString cameraUniqueID(const QString& api, const QString& node, const QString& vendorID, const QString& productID) {
    const QString vendor = normalizedUsbId(vendorID);
    const QString product = normalizedUsbId(productID);
    const QString ids = vendor.isEmpty() || product.isEmpty() ? QStringLiteral("no-usb-ids") : vendor + product;
    return api + QLatin1Char(':') + node + QLatin1Char(':') + ids;
}

}  // namespace qv::capture
