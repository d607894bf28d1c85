#include <gtest/gtest.h>

#include "capture/core/DeviceChoice.h"

using namespace qv::capture;

namespace {

FrameRateRangeRef range(double minRate, double maxRate) {
    auto frac = [](double r, std::int32_t& n, std::int32_t& d) {
        n = std::int32_t(std::llround(r * 1000));
        d = 1000;
    };
    std::int32_t a, b, c, e;
    frac(minRate, a, b);
    frac(maxRate, c, e);
    return std::make_shared<FrameRateRange>(FrameRateRange::fromRates(a, b, c, e));
}

DeviceFormatRef format(const char* subtype, int width, std::vector<FrameRateRangeRef> ranges) {
    auto f = std::make_shared<DeviceFormat>();
    f->mediaSubtype = subtype;
    f->width = width;
    f->height = width * 9 / 16;
    f->frameRateRanges = std::move(ranges);
    return f;
}

VemoCamera camera(const QString& name, std::vector<DeviceFormatRef> formats) {
    auto d = std::make_shared<CaptureDevice>();
    d->localizedName = name;
    d->uniqueID = QStringLiteral("usb:%1%2").arg(makerUSBVendorID, 4, 16, QLatin1Char('0')).arg(41, 4, 16, QLatin1Char('0'));
    d->formats = std::move(formats);
    VemoCamera c(d);
    scanPreferredFormats(c);
    return c;
}

}  // namespace

TEST(FormatScan, YuvsIsIgnoredAndTheLastFormatOfAWidthWins) {
    const auto yuvs = format("yuvs", 1920, {range(5, 30)});
    const auto jpeg = format("jpeg", 1920, {range(5, 30)});
    const auto hd1 = format("420v", 1280, {range(5, 30)});
    const auto hd2 = format("jpeg", 1280, {range(5, 60)});
    const auto odd = format("jpeg", 1024, {range(5, 30)});
    const VemoCamera c = camera("Quorvane", {yuvs, jpeg, hd1, hd2, odd});
    EXPECT_EQ(c.fullHDFmt, jpeg);
    EXPECT_EQ(c.fullHDFps, jpeg->frameRateRanges[0]);
    EXPECT_EQ(c.hdFmt, hd2);
    EXPECT_EQ(c.hdFps, hd2->frameRateRanges[0]);
    EXPECT_FALSE(c.ultraHDFmt);

    const VemoCamera yuvsOnly = camera("Quorvane", {yuvs});
    EXPECT_FALSE(yuvsOnly.fullHDFmt);
    EXPECT_FALSE(chooseFormat(yuvsOnly, true, false));
}

TEST(FormatScan, FirstRangeAbove25AfterRoundingHalfAwayFromZero) {
    struct Case {
        double maxRate;
        bool qualifies;
    } cases[] = {{25.0, false}, {25.4, false}, {25.5, true}, {29.97, true}, {60, true}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.maxRate);
        const auto f = format("jpeg", 1920, {range(1, 10), range(5, c.maxRate), range(5, 60)});
        const VemoCamera cam = camera("Quorvane", {f});
        EXPECT_EQ(cam.fullHDFmt, f);
        EXPECT_EQ(cam.fullHDFps, c.qualifies ? f->frameRateRanges[1] : f->frameRateRanges[2]);
    }
    const auto slow = format("jpeg", 1920, {range(5, 25.4)});
    const VemoCamera cam = camera("Quorvane", {slow});
    EXPECT_EQ(cam.fullHDFmt, slow);
    EXPECT_FALSE(cam.fullHDFps);
}

TEST(FormatChoice, ResolutionSettingPicksFormatWithFallThrough) {
    const auto hd = format("jpeg", 1280, {range(5, 30)});
    const auto fhd = format("jpeg", 1920, {range(5, 30)});
    const auto uhd = format("jpeg", 3840, {range(5, 30)});
    const VemoCamera all = camera("Quorvane", {hd, fhd, uhd});
    const VemoCamera hdOnly = camera("Quorvane", {hd});
    struct Case {
        const VemoCamera* cam;
        bool fullHD, ultraHD;
        DeviceFormatRef expected;
    } cases[] = {
        {&all, true, false, fhd},  {&all, false, true, uhd},    {&all, false, false, hd},
        {&all, true, true, fhd},   {&hdOnly, true, false, hd},  {&hdOnly, false, true, hd},
    };
    for (const Case& c : cases) {
        const auto choice = chooseFormat(*c.cam, c.fullHD, c.ultraHD);
        ASSERT_TRUE(choice);
        EXPECT_EQ(choice->format, c.expected);
    }
    VemoCamera plain = camera("Plain", {hd, fhd});
    plain.hdFmt = plain.fullHDFmt = nullptr;  // plain cameras keep their current format
    EXPECT_FALSE(chooseFormat(plain, true, false));
}

TEST(FormatChoice, FrameDurationTable) {
    struct Case {
        const char* name;
        double minRate, maxRate;
        FrameDuration expectedMin, expectedMax;
    } cases[] = {
        {"Quorvane", 5, 60, {1, 30}, {1000, 5000}},
        {"Quorvane Wendle", 5, 60, {1000, 60000}, {1000, 5000}},
        {"Quorvane", 60, 60, {1000, 60000}, {1000, 60000}},
        {"Quorvane Wendle", 60, 60, {1000, 60000}, {1000, 60000}},
        // 1/30 s lies below this range's own shortest duration: clamped into the range.
        {"Quorvane", 5, 29.97, {1000, 29970}, {1000, 5000}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.name) + " " + std::to_string(c.maxRate));
        const auto f = format("jpeg", 1920, {range(c.minRate, c.maxRate)});
        VemoCamera cam = camera(c.name, {f});
        cam.isWendle = QString(c.name).contains("Wendle");
        const auto choice = chooseFormat(cam, true, false);
        ASSERT_TRUE(choice && choice->minFrameDuration && choice->maxFrameDuration);
        EXPECT_EQ(*choice->minFrameDuration, c.expectedMin);
        EXPECT_EQ(*choice->maxFrameDuration, c.expectedMax);
    }
}

TEST(FormatChoice, RangeOfAnEarlierFormatIsClampedIntoTheChosenFormatsOwn) {
    const auto early = format("jpeg", 1920, {range(5, 60)});
    const auto late = format("420v", 1920, {range(5, 15)});  // no range above 25: keeps early's range
    const VemoCamera cam = camera("Quorvane", {early, late});
    ASSERT_EQ(cam.fullHDFmt, late);
    ASSERT_EQ(cam.fullHDFps, early->frameRateRanges[0]);
    const auto choice = chooseFormat(cam, true, false);
    ASSERT_TRUE(choice && choice->minFrameDuration);
    EXPECT_EQ(choice->format, late);
    EXPECT_EQ(*choice->minFrameDuration, (FrameDuration{1000, 15000}));
    EXPECT_EQ(*choice->maxFrameDuration, (FrameDuration{1000, 5000}));
}
