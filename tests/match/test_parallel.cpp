// Spreading work over threads: every index exactly once, whatever the thread
// count, and a failure reaches the caller.
#include <gtest/gtest.h>

#include <atomic>
#include <stdexcept>
#include <vector>

#include "parallel.h"

namespace zarn::match {
namespace {

TEST(Parallel, EveryIndexIsWorkedOnOnce) {
    for (const std::size_t threads : {1u, 2u, 5u}) {
        for (const std::size_t count : {0u, 1u, 3u, 1000u}) {
            std::vector<std::atomic<int>> calls(count);
            parallelFor(threads, count, [&](std::size_t i) { ++calls[i]; });
            for (std::size_t i = 0; i < count; ++i) {
                EXPECT_EQ(calls[i], 1) << threads << " threads, index " << i << " of " << count;
            }
        }
    }
    EXPECT_GE(usableCores(), 1u);
}

TEST(Parallel, AFailureIsRethrownOnceAllThreadsStop) {
    std::atomic<int> running{0};
    const auto failing = [&](std::size_t i) {
        ++running;
        if (i == 7) {
            --running;
            throw std::runtime_error("index 7");
        }
        --running;
    };
    EXPECT_THROW(parallelFor(3, 100, failing), std::runtime_error);
    EXPECT_EQ(running, 0);
}

}  // namespace
}  // namespace zarn::match
