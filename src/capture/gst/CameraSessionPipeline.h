#pragma once
// The pipeline of a camera session, shared by the session and its recording branches.
#include "capture/gst/CameraSession.h"
#include "capture/gst/GstPtr.h"

namespace qv::gst {

struct CameraSession::Pipeline {
    ElementPtr pipeline;
    ElementPtr appsink;
};

}  // namespace qv::gst
