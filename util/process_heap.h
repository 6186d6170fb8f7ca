// How the tool's process keeps its heap: the large planes the engine works on are
// allocated and freed once per image, in a process that exits right after.
#pragma once

namespace zarn {

// Large blocks are taken from and kept in the heap instead of being mapped fresh and
// unmapped each time, so a plane freed by one extraction stage serves the next
// without new page faults. Called once, at start.
void keepLargeBlocksInHeap();

// Before forking: gives back the heap an earlier image left behind, since fork copies
// the page tables of all the parent has touched.
void trimHeapBeforeFork();

// After the forked child is gone: the heap grows now, with its fresh part on huge
// pages where the system offers them on request. A fresh process pays a page fault
// for each 4 KB it touches, which in a virtual machine costs microseconds; a huge
// page is one fault per 2 MB. Not before forking: a huge page the child writes to
// is split, and the parent's is left on ordinary pages.
void growHeapOnHugePages();

}  // namespace zarn
