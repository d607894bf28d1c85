#include "util/Memory.h"

#include <malloc.h>

namespace qv::util {

void capAllocatorArenas() {
    constexpr int arenas = 4;
    mallopt(M_ARENA_MAX, arenas);
}

}  // namespace qv::util
