// How the process's allocator treats the large planes the engine works on.
#pragma once

namespace zarn {

// The tool runs once per template and exits: large blocks are taken from and
// kept in the heap instead of being mapped fresh and unmapped each time, so a
// plane freed by one extraction stage serves the next without new page faults.
void keepLargeBlocksInHeap();

}  // namespace zarn
