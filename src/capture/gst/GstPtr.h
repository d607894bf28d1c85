#pragma once
// RAII owners of GStreamer references, so that no raw handle outlives the function that got it.
#include <gst/gst.h>

#include <memory>

namespace qv::gst {

struct GstObjectUnref {
    void operator()(gpointer object) const {
        if (object) gst_object_unref(object);
    }
};
template <typename T>
using GstObjectPtr = std::unique_ptr<T, GstObjectUnref>;
using ElementPtr = GstObjectPtr<GstElement>;
using BusPtr = GstObjectPtr<GstBus>;
using PadPtr = GstObjectPtr<GstPad>;
using DevicePtr = GstObjectPtr<GstDevice>;
using DeviceMonitorPtr = GstObjectPtr<GstDeviceMonitor>;

struct CapsUnref {
    void operator()(GstCaps* caps) const {
        if (caps) gst_caps_unref(caps);
    }
};
using CapsPtr = std::unique_ptr<GstCaps, CapsUnref>;

struct StructureFree {
    void operator()(GstStructure* s) const {
        if (s) gst_structure_free(s);
    }
};
using StructurePtr = std::unique_ptr<GstStructure, StructureFree>;

struct GErrorFree {
    void operator()(GError* e) const {
        if (e) g_error_free(e);
    }
};
using ErrorPtr = std::unique_ptr<GError, GErrorFree>;

struct GFree {
    void operator()(gpointer p) const { g_free(p); }
};
using CharPtr = std::unique_ptr<gchar, GFree>;

// gst_init once per process, from any thread; also caps the allocator's arenas (see the source).
void ensureInitialized();

}  // namespace qv::gst
