#include "plane_storage.h"

#include <algorithm>
#include <cstring>
#include <mutex>

namespace zarn {

namespace {

// An extraction holds two planes at once; keeping as many serves it, and a few more
// would only keep memory from other work.
constexpr std::size_t kKeptPlanes = 2;
// Below this the allocator reuses memory by itself.
constexpr std::size_t kLeastKeptFloats = 64 * 1024;
// Above this (planes of prints past about 2000x2000 pixels) the storage is freed rather
// than held for an image that may never come.
constexpr std::size_t kMostKeptFloats = 4 * 1024 * 1024;

struct Kept {
    std::mutex lock;
    std::vector<std::vector<float>> planes;  // oldest first
};

Kept& kept() {
    static Kept k;
    return k;
}

}  // namespace

std::vector<float> takePlaneStorage(std::size_t floats) {
    std::vector<float> storage;
    if (floats >= kLeastKeptFloats) {
        Kept& k = kept();
        const std::lock_guard<std::mutex> guard(k.lock);
        // Storage much larger than asked for stays for an image of its own size.
        for (auto it = k.planes.rbegin(); it != k.planes.rend(); ++it)
            if (it->capacity() >= floats && it->capacity() - floats <= floats / 4) {
                storage = std::move(*it);
                k.planes.erase(std::next(it).base());
                break;
            }
    }
    if (storage.empty())
        return std::vector<float>(floats, 0.0f);
    // All bits zero is 0.0f; memset clears kept storage faster than a loop of stores.
    storage.resize(floats);
    std::memset(storage.data(), 0, floats * sizeof(float));
    return storage;
}

void givePlaneStorage(std::vector<float>&& storage) {
    if (storage.capacity() < kLeastKeptFloats || storage.capacity() > kMostKeptFloats)
        return;
    Kept& k = kept();
    const std::lock_guard<std::mutex> guard(k.lock);
    k.planes.push_back(std::move(storage));
    if (k.planes.size() > kKeptPlanes)
        k.planes.erase(k.planes.begin());
}

}  // namespace zarn
