#include "layout/Lanes.h"

#include <algorithm>
#include <numeric>

namespace qv::layout {

std::vector<std::size_t> firstItemOfEachLane(const std::vector<LaneChild>& content, double width, double s) {
    std::vector<std::size_t> lanes;
    double x = width;  // a full lane: the first child that takes room opens lane 0
    for (std::size_t i = 0; i < content.size(); ++i) {
        const LaneChild& child = content[i];
        if (child.newLine) {
            lanes.push_back(i);
            x = width;
            continue;
        }
        if (x + child.width + s > width) {
            lanes.push_back(i);
            x = child.width;
        } else {
            x += child.width + s;
        }
    }
    // Children before the first lane (width plus s of 0 or less) join it.
    if (!content.empty()) {
        if (lanes.empty())
            lanes.push_back(0);
        else
            lanes.front() = 0;
    }
    return lanes;
}

LaneRange laneRange(const std::vector<std::size_t>& firstItemOfEachLane, std::size_t contentSize, std::size_t k) {
    LaneRange r;
    r.begin = firstItemOfEachLane.at(k);
    r.end = k + 1 < firstItemOfEachLane.size() ? firstItemOfEachLane[k + 1] : contentSize;
    return r;
}

namespace {

// Where the side spacers go: {leading, trailing}.
std::pair<bool, bool> sideSpacers(std::size_t n, SpacingKind kind, LaneAlignment alignment) {
    bool has = false;
    switch (kind) {
    case SpacingKind::constant: has = true; break;
    case SpacingKind::dynamic: has = n == 1; break;
    case SpacingKind::dynamicIncludingBorders: has = false; break;
    }
    if (!has) return {false, false};
    switch (alignment) {
    case LaneAlignment::leading: return {false, true};
    case LaneAlignment::center: return {true, true};
    case LaneAlignment::trailing: return {true, false};
    case LaneAlignment::other: break;
    }
    return {false, false};
}

}  // namespace

std::vector<double> laneOffsets(const std::vector<double>& childWidths, double width, Spacing spacing,
                                LaneAlignment alignment) {
    const std::size_t n = childWidths.size();
    std::vector<double> offsets(n, 0.0);
    if (n == 0) return offsets;
    const double sum = std::accumulate(childWidths.begin(), childWidths.end(), 0.0);

    double gap = spacing.s;
    double start = 0;
    if (spacing.kind == SpacingKind::dynamicIncludingBorders) {
        gap = std::max(spacing.s, (width - sum) / static_cast<double>(n + 1));
        start = gap;
    } else if (spacing.kind == SpacingKind::dynamic && n >= 2) {
        gap = std::max(spacing.s, (width - sum) / static_cast<double>(n - 1));
    }

    if (!(spacing.kind == SpacingKind::dynamicIncludingBorders || (spacing.kind == SpacingKind::dynamic && n >= 2))) {
        const double group = sum + gap * static_cast<double>(n - 1);
        const double spare = std::max(0.0, width - group);
        const auto [lead, trail] = sideSpacers(n, spacing.kind, alignment);
        if (lead && trail)
            start = spare / 2;
        else if (lead)
            start = spare;
        else if (trail)
            start = 0;
        else
            start = spare / 2;  // no spacers: the lane's frame centres the group
    }

    double x = start;
    for (std::size_t i = 0; i < n; ++i) {
        offsets[i] = x;
        x += childWidths[i] + gap;
    }
    return offsets;
}

}  // namespace qv::layout
