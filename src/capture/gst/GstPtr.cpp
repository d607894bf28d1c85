#include "capture/gst/GstPtr.h"

#include <malloc.h>

#include <mutex>

namespace qv::gst {

namespace {

// Every recording starts threads of its own (encoders, the writer, the movie's thumbnail
// decoder), and the allocator gives new threads new arenas, up to eight per core, each keeping
// freed memory of its own. A few arenas serve these threads as fast (they allocate seldom: their
// buffers come from pools) and keep the memory a movie freed reusable by the next one instead of
// growing the process movie by movie.
constexpr int allocatorArenas = 4;

}  // namespace

void ensureInitialized() {
    static std::once_flag once;
    std::call_once(once, [] {
        mallopt(M_ARENA_MAX, allocatorArenas);
        gst_init(nullptr, nullptr);
    });
}

}  // namespace qv::gst
