#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <string>
#include <vector>

#include "layout/Lanes.h"

using namespace qv::layout;

namespace {

constexpr LaneChild NL = {true, 0};
LaneChild w(double width) { return LaneChild::of(width); }

struct LaneCase {
    std::string what;
    std::vector<LaneChild> content;
    double width;
    double s;
    std::vector<std::size_t> expected;
};

class LaneBreaking : public ::testing::TestWithParam<LaneCase> {};

TEST_P(LaneBreaking, FirstItemOfEachLane) {
    const LaneCase& c = GetParam();
    EXPECT_EQ(firstItemOfEachLane(c.content, c.width, c.s), c.expected) << c.what;
}

INSTANTIATE_TEST_SUITE_P(
    Table, LaneBreaking,
    ::testing::Values(
        // W = 100, s = 8: 40 opens lane 0, 52 fits exactly (40 + 52 + 8 = 100), 30 and 120 and 10
        // each open a lane: lanes {0, 1}, {2}, {3}, {4}.
        LaneCase{"worked example", {w(40), w(52), w(30), w(120), w(10)}, 100, 8, {0, 2, 3, 4}},
        LaneCase{"no children: no lanes", {}, 100, 8, {}},
        LaneCase{"equality fits, one more point does not", {w(46), w(46)}, 100, 8, {0}},
        LaneCase{"one point over breaks", {w(46), w(47)}, 100, 8, {0, 1}},
        LaneCase{"a child wider than W sits alone, the next opens a lane", {w(10), w(150), w(10), w(10)}, 100, 8,
                 {0, 1, 2}},
        LaneCase{"W = 0: a lane per child", {w(5), w(5), w(5)}, 0, 8, {0, 1, 2}},
        LaneCase{"newLine first: lane 0 holds only it", {NL, w(10), w(10)}, 100, 8, {0, 1}},
        LaneCase{"two newLines in a row: two empty lanes", {w(10), NL, NL, w(10)}, 100, 8, {0, 1, 2, 3}},
        LaneCase{"newLine in the middle breaks even with room", {w(10), w(10), NL, w(10)}, 100, 8, {0, 2, 3}},
        LaneCase{"the payload counts once per gap", {w(30), w(30), w(30)}, 100, 5, {0}},
        LaneCase{"zero-width children after a lane join it", {w(50), w(0), w(0), w(50)}, 100, 0, {0}},
        LaneCase{"zero-width leading children join the first lane", {w(0), w(0), w(40)}, 100, 0, {0}},
        LaneCase{"only zero-width children: one lane", {w(0), w(0)}, 100, 0, {0}},
        LaneCase{"category chips in a 390-point row", {w(30), w(70), w(60), w(90), w(80), w(100), w(50)}, 390, 8,
                 {0, 5}}),
    [](const ::testing::TestParamInfo<LaneCase>& info) { return "case" + std::to_string(info.index); });

TEST(LaneBreaking, LaneRangesCoverEveryChildOnce) {
    const std::vector<LaneChild> content = {w(40), w(52), w(30), w(120), w(10)};
    const auto lanes = firstItemOfEachLane(content, 100, 8);
    std::vector<std::pair<std::size_t, std::size_t>> ranges;
    for (std::size_t k = 0; k < lanes.size(); ++k) {
        const LaneRange r = laneRange(lanes, content.size(), k);
        ranges.emplace_back(r.begin, r.end);
    }
    const std::vector<std::pair<std::size_t, std::size_t>> expected = {{0, 2}, {2, 3}, {3, 4}, {4, 5}};
    EXPECT_EQ(ranges, expected);
}

TEST(LaneBreaking, LanesRespectTheWidthForManyRandomRows) {
    // Every lane of two or more children fits: sum + (n - 1) s <= W.
    unsigned seed = 7;
    auto next = [&seed] { return (seed = seed * 1103515245u + 12345u) >> 16; };
    for (int round = 0; round < 200; ++round) {
        std::vector<LaneChild> content;
        const int n = static_cast<int>(next() % 20);
        for (int i = 0; i < n; ++i) content.push_back(next() % 11 == 0 ? NL : w(static_cast<double>(next() % 130)));
        const double W = static_cast<double>(next() % 200);
        const double s = static_cast<double>(next() % 12);
        const auto lanes = firstItemOfEachLane(content, W, s);
        for (std::size_t k = 0; k < lanes.size(); ++k) {
            if (k) {
                ASSERT_LT(lanes[k - 1], lanes[k]);
            }
            const LaneRange r = laneRange(lanes, content.size(), k);
            ASSERT_LT(r.begin, r.end);
            double sum = 0;
            std::size_t items = 0;
            for (std::size_t i = r.begin; i < r.end; ++i)
                if (!content[i].newLine) sum += content[i].width, ++items;
            if (items >= 2) {
                EXPECT_LE(sum + static_cast<double>(items - 1) * s, W);
            }
        }
    }
}

struct OffsetCase {
    std::string what;
    std::vector<double> widths;
    Spacing spacing;
    LaneAlignment alignment;
    std::vector<double> expected;
};

class LanePlacement : public ::testing::TestWithParam<OffsetCase> {};

TEST_P(LanePlacement, Offsets) {
    const OffsetCase& c = GetParam();
    const auto xs = laneOffsets(c.widths, 100, c.spacing, c.alignment);
    ASSERT_EQ(xs.size(), c.expected.size()) << c.what;
    for (std::size_t i = 0; i < xs.size(); ++i) EXPECT_NEAR(xs[i], c.expected[i], 1e-9) << c.what << " child " << i;
}

constexpr Spacing constant8{SpacingKind::constant, 8};
constexpr Spacing dynamic8{SpacingKind::dynamic, 8};
constexpr Spacing borders8{SpacingKind::dynamicIncludingBorders, 8};

INSTANTIATE_TEST_SUITE_P(
    Table, LanePlacement,
    ::testing::Values(
        OffsetCase{"constant, leading: 8 apart from the leading edge", {20, 30}, constant8, LaneAlignment::leading,
                   {0, 28}},
        OffsetCase{"constant, center", {20, 30}, constant8, LaneAlignment::center, {21, 49}},
        OffsetCase{"constant, trailing", {20, 30}, constant8, LaneAlignment::trailing, {42, 70}},
        OffsetCase{"constant, other alignment: no side spacers, centred by the lane", {20, 30}, constant8,
                   LaneAlignment::other, {21, 49}},
        OffsetCase{"dynamic, trailing, one child: at the trailing edge", {20}, dynamic8, LaneAlignment::trailing,
                   {80}},
        OffsetCase{"dynamic, trailing, two children: spread over the width", {20, 30}, dynamic8,
                   LaneAlignment::trailing, {0, 70}},
        OffsetCase{"dynamic, leading, three children", {20, 20, 20}, dynamic8, LaneAlignment::leading, {0, 40, 80}},
        OffsetCase{"dynamic, other alignment, one child: centred", {20}, dynamic8, LaneAlignment::other, {40}},
        OffsetCase{"borders: spare width shared by gaps and both ends, whatever the alignment", {20, 20}, borders8,
                   LaneAlignment::trailing, {20, 60}},
        OffsetCase{"borders: never below the minimum", {45, 45}, borders8, LaneAlignment::leading, {8, 61}}),
    [](const ::testing::TestParamInfo<OffsetCase>& info) { return "case" + std::to_string(info.index); });

}  // namespace
