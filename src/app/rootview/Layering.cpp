#include "app/rootview/Layering.h"

#include <QWidget>

#include <algorithm>
#include <vector>

namespace qv::app {

namespace {
constexpr const char* kLayerProperty = "qvLayer";
}  // namespace

void setLayer(QWidget* widget, Layer layer) { widget->setProperty(kLayerProperty, int(layer)); }

std::optional<Layer> layerOf(const QWidget* widget) {
    const QVariant v = widget->property(kLayerProperty);
    if (!v.isValid()) return std::nullopt;
    return Layer(v.toInt());
}

void restack(QWidget* parent) {
    std::vector<std::pair<int, QWidget*>> tagged;
    int index = 0;
    for (QObject* child : parent->children()) {
        auto* w = qobject_cast<QWidget*>(child);
        if (!w || w->isWindow()) continue;
        if (auto layer = layerOf(w)) tagged.emplace_back(int(*layer) * 10000 + index++, w);
    }
    // Equal layers keep the order they were made in.
    std::stable_sort(tagged.begin(), tagged.end(), [](const auto& a, const auto& b) { return a.first < b.first; });
    for (auto& [key, w] : tagged) w->raise();
}

QRegion coveredBy(const QWidget* widget, const QWidget* target, bool byChildren) {
    if (!widget->isVisible()) return {};
    const QPoint origin = widget->mapTo(widget->window(), QPoint(0, 0)) - target->mapTo(target->window(), QPoint(0, 0));
    QRegion region;
    if (!byChildren) {
        // A panel that shows only part of itself (a list slid out of view but for its handle)
        // says so with its mask.
        region = widget->mask().isEmpty() ? QRegion(widget->rect()) : widget->mask();
    } else {
        for (QObject* child : widget->children()) {
            auto* w = qobject_cast<QWidget*>(child);
            if (w && !w->isWindow() && w->isVisible()) region += w->geometry();
        }
    }
    return region.translated(origin);
}

}  // namespace qv::app
