#pragma once
// What the whiteboard's script bridge needs of the main camera: its preview's pan and zoom.
#include <functional>
#include <memory>
#include <utility>

namespace qv::webpanels {

class CameraGestureTarget {
public:
    virtual ~CameraGestureTarget() = default;
    // False while no camera controller is published; pan and zoom then do nothing.
    virtual bool hasCamera() const = 0;
    // The camera view's rotation in degrees.
    virtual double rotation() const = 0;
    virtual void panPreview(bool ended, double dx, double dy, double rotation) = 0;
    virtual void setZoom(double factor) = 0;
};

// Adapts a controller type with panPreview(bool, double, double, double), setZoom(double) and a
// `rotation` (field or getter) to CameraGestureTarget. `current` is asked on every gesture, so a
// controller published or replaced later is found.
template <typename Controller>
class CameraGestureAdapter final : public CameraGestureTarget {
public:
    explicit CameraGestureAdapter(std::function<Controller*()> current) : current_(std::move(current)) {}

    bool hasCamera() const override { return current_() != nullptr; }
    double rotation() const override {
        Controller* c = current_();
        if (!c) return 0.0;
        if constexpr (requires { c->rotation(); })
            return static_cast<double>(c->rotation());
        else
            return static_cast<double>(c->rotation);
    }
    void panPreview(bool ended, double dx, double dy, double rotation) override {
        if (Controller* c = current_()) c->panPreview(ended, dx, dy, rotation);
    }
    void setZoom(double factor) override {
        if (Controller* c = current_()) c->setZoom(factor);
    }

private:
    std::function<Controller*()> current_;
};

template <typename Controller>
std::shared_ptr<CameraGestureTarget> makeCameraGestureTarget(std::function<Controller*()> current) {
    return std::make_shared<CameraGestureAdapter<Controller>>(std::move(current));
}

}  // namespace qv::webpanels
