#include "capture/gst/GstPtr.h"

#include <mutex>

#include "util/Memory.h"

namespace qv::gst {

void ensureInitialized() {
    static std::once_flag once;
    std::call_once(once, [] {
        util::capAllocatorArenas();
        gst_init(nullptr, nullptr);
    });
}

}  // namespace qv::gst
