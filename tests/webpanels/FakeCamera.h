#pragma once
// A stand-in for the main camera that records what the script bridge asks of it.
#include <optional>
#include <ostream>
#include <vector>

#include "webpanels/CameraGestureTarget.h"

namespace qv::test {

struct PanCall {
    bool ended;
    double dx;
    double dy;
    double rotation;
    bool operator==(const PanCall&) const = default;
};

inline void PrintTo(const PanCall& p, std::ostream* os) {
    *os << "{ended " << p.ended << ", dx " << p.dx << ", dy " << p.dy << ", rotation " << p.rotation << "}";
}

class FakeCamera : public webpanels::CameraGestureTarget {
public:
    bool present = true;
    double currentRotation = 0.0;
    std::vector<PanCall> pans;
    std::vector<double> zooms;

    bool hasCamera() const override { return present; }
    double rotation() const override { return currentRotation; }
    void panPreview(bool ended, double dx, double dy, double rotation) override {
        pans.push_back({ended, dx, dy, rotation});
    }
    void setZoom(double factor) override { zooms.push_back(factor); }
};

}  // namespace qv::test
