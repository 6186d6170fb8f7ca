#include "parallel.h"

#include <sched.h>

#include <algorithm>
#include <atomic>
#include <exception>
#include <mutex>
#include <thread>
#include <vector>

namespace zarn::match {

std::size_t usableCores() {
    cpu_set_t set;
    if (sched_getaffinity(0, sizeof set, &set) == 0 && CPU_COUNT(&set) > 0) {
        return static_cast<std::size_t>(CPU_COUNT(&set));
    }
    return std::max(1u, std::thread::hardware_concurrency());
}

void parallelFor(std::size_t threads, std::size_t count,
                 const std::function<void(std::size_t)>& work) {
    std::atomic<std::size_t> next{0};
    std::atomic<bool> failed{false};
    std::exception_ptr error;
    std::mutex errorLock;
    const auto drain = [&] {
        for (std::size_t i = next++; i < count && !failed; i = next++) {
            try {
                work(i);
            } catch (...) {
                const std::lock_guard<std::mutex> lock(errorLock);
                if (!error) {
                    error = std::current_exception();
                }
                failed = true;
            }
        }
    };
    std::vector<std::thread> helpers;
    const std::size_t wanted = std::min(threads, count);
    for (std::size_t t = 1; t < wanted; ++t) {
        helpers.emplace_back(drain);
    }
    drain();
    for (std::thread& helper : helpers) {
        helper.join();
    }
    if (error) {
        std::rethrow_exception(error);
    }
}

}  // namespace zarn::match
