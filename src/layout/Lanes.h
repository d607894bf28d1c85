#pragma once
// The lane arithmetic of a wrapping row, without any toolkit: which children open a lane, and
// where the children of one lane sit. WrappingRow (the Qt layout) measures its children and
// places them with these functions.
#include <cstddef>
#include <vector>

namespace qv::layout {

// How the gaps between the children of a lane are made. The payload s of every case also enters
// the lane-breaking rule, once per gap.
enum class SpacingKind {
    constant,                 // fixed gaps of s
    dynamic,                  // stretchable gaps of at least s
    dynamicIncludingBorders,  // stretchable gaps of at least s, also before the first and after the last child
};

struct Spacing {
    SpacingKind kind = SpacingKind::constant;
    double s = 0;
};

// Horizontal alignment of the children of a lane. `other` stands for any alignment that is none
// of the three (no side spacers at all).
enum class LaneAlignment { leading, center, trailing, other };

// One child as the lane breaking sees it: a forced lane break, or a child of a measured width.
struct LaneChild {
    bool newLine = false;
    double width = 0;

    static LaneChild line() { return {true, 0}; }
    static LaneChild of(double w) { return {false, w}; }
};

// For every lane, the index of its first child; strictly ascending, empty without children.
// A child opens a lane when the running width of the current lane plus its width plus s exceeds
// `width` (equality fits); a newLine always opens one and leaves the running width full, so the
// next child opens another. Leading children whose width plus s is 0 or less open no lane; they
// join the first lane, so every child belongs to exactly one lane.
std::vector<std::size_t> firstItemOfEachLane(const std::vector<LaneChild>& content, double width, double s);

// The half-open range [begin, end) of children of lane k.
struct LaneRange {
    std::size_t begin = 0;
    std::size_t end = 0;
};
LaneRange laneRange(const std::vector<std::size_t>& firstItemOfEachLane, std::size_t contentSize, std::size_t k);

// The left edges of the children of one lane (a newLine counts as a child of width 0), for a lane
// `width` wide: constant gaps of s with the group pushed to the alignment's side; dynamic gaps
// spreading a lane of two or more children over the whole width (a single child follows the
// alignment); dynamicIncludingBorders sharing the spare width between all gaps and both ends.
// Without side spacers (alignment `other`) a group narrower than the lane sits in its centre.
std::vector<double> laneOffsets(const std::vector<double>& childWidths, double width, Spacing spacing,
                                LaneAlignment alignment);

}  // namespace qv::layout
