#include "process_memory.h"

#include <cstdlib>  // defines __GLIBC__ where the C library is glibc
#if defined(__GLIBC__)
#include <malloc.h>
#endif

namespace zarn {

void keepLargeBlocksInHeap() {
#if defined(__GLIBC__)
    // Above any plane or image the tool handles (32 megapixels of bytes).
    constexpr int kMmapThreshold = 64 << 20;
    mallopt(M_MMAP_THRESHOLD, kMmapThreshold);
    mallopt(M_TRIM_THRESHOLD, 2 * kMmapThreshold);
#endif
}

}  // namespace zarn
