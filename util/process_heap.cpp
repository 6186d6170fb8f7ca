#include "process_heap.h"

#include <cstdint>
#include <cstdlib>  // defines __GLIBC__ where the C library is glibc
#if defined(__GLIBC__)
#include <malloc.h>
#include <sys/mman.h>
#include <unistd.h>
#endif

namespace zarn {

namespace {

#if defined(__GLIBC__)
// Above any plane or image the tool handles (32 megapixels of bytes).
constexpr int kMmapThreshold = 64 << 20;
// Room the heap takes beyond each request when it grows: enough for the planes of a
// 1000x1000 print, so one growth covers an extraction and one advice covers the heap.
constexpr int kHeapReserve = 32 << 20;
constexpr std::uintptr_t kHugePage = 2 << 20;
#endif

}  // namespace

void keepLargeBlocksInHeap() {
#if defined(__GLIBC__)
    mallopt(M_MMAP_THRESHOLD, kMmapThreshold);
    mallopt(M_TRIM_THRESHOLD, 2 * kMmapThreshold);
    mallopt(M_TOP_PAD, kHeapReserve);
#endif
}

#if defined(__GLIBC__)
// The heap is the process's own, and so is the one block kept to shape it.
void* heapSpacer = nullptr;
#endif

void trimHeapBeforeFork() {
#if defined(__GLIBC__)
    std::free(heapSpacer);
    heapSpacer = nullptr;
    malloc_trim(0);
#endif
}

void growHeapOnHugePages() {
#if defined(__GLIBC__)
    // A block larger than anything the trimmed heap holds makes it grow at its top,
    // by the block and the reserve. Its size keeps the one page malloc writes at its
    // end far above the planes: a page touched before the advice would keep its
    // 2 MB range on ordinary pages.
    constexpr std::size_t kProbe = kHeapReserve;
    void* probe = std::malloc(kProbe);
    if (!probe)
        return;
    const auto at = reinterpret_cast<std::uintptr_t>(probe);
    const auto start = (at + kHugePage - 1) & ~(kHugePage - 1);
    const auto top = reinterpret_cast<std::uintptr_t>(sbrk(0));
    std::free(probe);
    if (top < at + kProbe || heapSpacer)
        return;  // the block came from inside the heap: leave it as it is
    // Huge pages from the first 2 MB boundary up; a spacer block reaching it keeps
    // what is allocated next there, rather than on the ordinary pages below. A
    // refused advice only leaves the ordinary pages.
    if (madvise(reinterpret_cast<void*>(start), top - start, MADV_HUGEPAGE) == 0 && start > at)
        heapSpacer = std::malloc(start - at);
#endif
}

}  // namespace zarn
