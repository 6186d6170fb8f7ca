// Spreading independent pieces of work over threads: a search's probes and
// the templates of a gallery batch.
#pragma once

#include <cstddef>
#include <functional>

namespace zarn::match {

// The cores this process may run on (its affinity mask), at least 1.
std::size_t usableCores();

// Calls work(i) once for every i below count, on up to `threads` threads
// (the calling one among them), each taking the next index when done with
// its last; returns when all are done. The first exception a call throws is
// rethrown here once the other threads have stopped.
void parallelFor(std::size_t threads, std::size_t count,
                 const std::function<void(std::size_t)>& work);

}  // namespace zarn::match
