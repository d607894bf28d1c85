#include "capture/gst/GstPtr.h"

#include <mutex>

namespace qv::gst {

void ensureInitialized() {
    static std::once_flag once;
    std::call_once(once, [] { gst_init(nullptr, nullptr); });
}

}  // namespace qv::gst
