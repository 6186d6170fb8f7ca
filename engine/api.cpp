// The default engine's C entry points: argument checks, handle registry and
// the two-call size protocol over the extraction and record code.
#include <chrono>
#include <cstdint>
#include <cstring>
#include <map>
#include <memory>
#include <new>
#include <vector>

#include "enrollment.h"
#include "zarn_engine.h"

namespace {

using zarn::Enrollment;
using zarn::FingerView;

// The last VX_Enroll image and its outcome, so the size call and the buffer
// call of the same image extract once and give the same bytes.
struct EnrollCache {
    std::int32_t width = 0;
    std::int32_t height = 0;
    std::vector<std::uint8_t> pixels;
    std::int32_t status = ZARN_E_INTERNAL;
    std::vector<std::uint8_t> record;
};

struct Engine {
    // Handles are tokens, never addresses: the upper half of a handle is a
    // per-session salt so that a handle kept from an earlier session does not
    // match one of this session, the lower half a 1-based index.
    std::uintptr_t salt = 0;
    std::map<std::uintptr_t, std::unique_ptr<Enrollment>> enrollments;
    std::uintptr_t nextIndex = 1;
    EnrollCache cache;
};

// The one global: the C functions carry no context argument, so the state
// between VX_InitZARN and VX_UninitZARN must hang somewhere. Keeping it behind
// a single pointer makes "initialised" a null check and lets uninit free
// everything at once.
Engine* g_engine = nullptr;

constexpr unsigned kHalfBits = sizeof(std::uintptr_t) * 4;
constexpr std::uintptr_t kIndexMask = (std::uintptr_t{1} << kHalfBits) - 1;

std::uintptr_t sessionSalt() {
    // Only the handles' values depend on this, never a template's bytes.
    const auto ticks =
        static_cast<std::uint64_t>(std::chrono::steady_clock::now().time_since_epoch().count());
    std::uint64_t mixed = ticks * 0x9E3779B97F4A7C15ull;
    mixed ^= mixed >> 29;
    const auto salt = static_cast<std::uintptr_t>(mixed) & kIndexMask;
    return salt == 0 ? 1 : salt;
}

EnrollHandle makeHandle(const Engine& engine, std::uintptr_t index) {
    return reinterpret_cast<EnrollHandle>((engine.salt << kHalfBits) | index);
}

// Looks a handle up in the registry; never dereferences it.
Enrollment* findEnrollment(const Engine& engine, EnrollHandle handle) {
    const auto value = reinterpret_cast<std::uintptr_t>(handle);
    if ((value >> kHalfBits) != engine.salt) {
        return nullptr;
    }
    const auto found = engine.enrollments.find(value & kIndexMask);
    return found == engine.enrollments.end() ? nullptr : found->second.get();
}

// The two-call size protocol: size query with a null buffer, copy with a
// buffer of exactly that size, nothing written otherwise.
std::int32_t deliver(const std::vector<std::uint8_t>& bytes, std::uint8_t* templ,
                     std::uint32_t* size) {
    const auto exact = static_cast<std::uint32_t>(bytes.size());
    if (templ == nullptr) {
        *size = exact;
        return ZARN_OK;
    }
    if (*size != exact) {
        return ZARN_E_BUFFER_SIZE;
    }
    std::memcpy(templ, bytes.data(), bytes.size());
    return ZARN_OK;
}

bool sameImage(const EnrollCache& cache, const std::uint8_t* pixels, std::int32_t width,
               std::int32_t height) {
    return cache.width == width && cache.height == height && !cache.pixels.empty() &&
           std::memcmp(cache.pixels.data(), pixels, cache.pixels.size()) == 0;
}

// Extracts and encodes one image into the cache, unless it already holds it.
void enrollIntoCache(EnrollCache& cache, const std::uint8_t* pixels, std::int32_t width,
                     std::int32_t height) {
    if (sameImage(cache, pixels, width, height)) {
        return;
    }
    // Forget the old entry first: if anything below throws, no stale result
    // is left behind under the new image's key.
    cache = EnrollCache{};
    FingerView view;
    const std::int32_t status = zarn::extractEnrollableView(pixels, width, height, view);
    std::vector<std::uint8_t> record;
    if (status == ZARN_OK) {
        record = zarn::encodeIsoRecord(zarn::buildViewRecord(view, 0));
    }
    const std::size_t count = static_cast<std::size_t>(width) * static_cast<std::size_t>(height);
    cache.pixels.assign(pixels, pixels + count);
    cache.width = width;
    cache.height = height;
    cache.status = status;
    cache.record = std::move(record);
}

bool sideInRange(std::int32_t side) {
    return side >= ZARN_MIN_IMAGE_SIDE && side <= ZARN_MAX_IMAGE_SIDE;
}

// Runs a body at the C boundary: no exception may cross into the caller.
template <typename Body>
std::int32_t guarded(Body body) noexcept {
    try {
        return body();
    } catch (const std::bad_alloc&) {
        return ZARN_E_OUT_OF_MEMORY;
    } catch (...) {
        return ZARN_E_INTERNAL;
    }
}

// Runs a body on the enrollment behind a handle, after the checks that every
// call on a handle shares.
template <typename Body>
std::int32_t withEnrollment(EnrollHandle handle, Body body) noexcept {
    return guarded([&]() -> std::int32_t {
        if (g_engine == nullptr) {
            return ZARN_E_NOT_INITIALISED;
        }
        Enrollment* enrollment = findEnrollment(*g_engine, handle);
        if (enrollment == nullptr) {
            return ZARN_E_BAD_HANDLE;
        }
        return body(enrollment);
    });
}

}  // namespace

extern "C" {

ZARN_API int32_t VX_InitZARN(void) {
    return guarded([]() -> std::int32_t {
        if (g_engine != nullptr) {
            return ZARN_E_ALREADY_INITIALISED;
        }
        auto engine = std::make_unique<Engine>();
        engine->salt = sessionSalt();
        g_engine = engine.release();
        return ZARN_OK;
    });
}

ZARN_API int32_t VX_UninitZARN(void) {
    return guarded([]() -> std::int32_t {
        if (g_engine == nullptr) {
            return ZARN_E_NOT_INITIALISED;
        }
        delete g_engine;
        g_engine = nullptr;
        return ZARN_OK;
    });
}

ZARN_API int32_t VX_Enroll(const uint8_t* pixels, int32_t width, int32_t height, uint8_t* templ,
                           uint32_t* size) {
    return guarded([&]() -> std::int32_t {
        if (g_engine == nullptr) {
            return ZARN_E_NOT_INITIALISED;
        }
        if (pixels == nullptr || size == nullptr) {
            return ZARN_E_NULL_POINTER;
        }
        if (!sideInRange(width) || !sideInRange(height)) {
            return ZARN_E_IMAGE_SIZE;
        }
        EnrollCache& cache = g_engine->cache;
        enrollIntoCache(cache, pixels, width, height);
        if (cache.status != ZARN_OK) {
            return cache.status;
        }
        return deliver(cache.record, templ, size);
    });
}

ZARN_API int32_t VX_EnrollInit(EnrollHandle* handle, uint32_t position, uint32_t count) {
    return guarded([&]() -> std::int32_t {
        if (g_engine == nullptr) {
            return ZARN_E_NOT_INITIALISED;
        }
        if (handle == nullptr) {
            return ZARN_E_NULL_POINTER;
        }
        if (position > 10 || count == 0) {
            return ZARN_E_BAD_ARGUMENT;
        }
        Engine& engine = *g_engine;
        if (engine.enrollments.size() >= ZARN_MAX_ENROLLMENTS) {
            return ZARN_E_TOO_MANY_HANDLES;
        }
        auto enrollment = std::make_unique<Enrollment>();
        enrollment->position = static_cast<std::uint8_t>(position);
        enrollment->expectedCount = count;
        // Indices are never reused within a session, and the cap above keeps
        // them far below the index half of a handle.
        const std::uintptr_t index = engine.nextIndex;
        engine.enrollments.emplace(index, std::move(enrollment));
        ++engine.nextIndex;
        *handle = makeHandle(engine, index);
        return ZARN_OK;
    });
}

ZARN_API int32_t VX_EnrollUpdate(EnrollHandle handle, const uint8_t* pixels, int32_t width,
                                 int32_t height) {
    return withEnrollment(handle, [&](Enrollment* enrollment) -> std::int32_t {
        if (pixels == nullptr) {
            return ZARN_E_NULL_POINTER;
        }
        // Refuse before extracting: a full or finished enrollment wastes no work.
        std::int32_t status = zarn::checkCanAddImage(*enrollment);
        if (status != ZARN_OK) {
            return status;
        }
        FingerView view;
        status = zarn::extractEnrollableView(pixels, width, height, view);
        if (status != ZARN_OK) {
            return status;
        }
        return zarn::addImage(*enrollment, std::move(view));
    });
}

ZARN_API int32_t VX_EnrollGetCount(EnrollHandle handle, uint32_t* count) {
    return withEnrollment(handle, [&](Enrollment* enrollment) -> std::int32_t {
        if (count == nullptr) {
            return ZARN_E_NULL_POINTER;
        }
        // The alignment runs here once; VX_EnrollFinal reuses it.
        *count = static_cast<std::uint32_t>(zarn::mergeEnrollment(*enrollment));
        return ZARN_OK;
    });
}

ZARN_API int32_t VX_EnrollFinal(EnrollHandle handle, uint8_t* templ, uint32_t* size) {
    return withEnrollment(handle, [&](Enrollment* enrollment) -> std::int32_t {
        if (size == nullptr) {
            return ZARN_E_NULL_POINTER;
        }
        const std::vector<std::uint8_t>* bytes = nullptr;
        const std::int32_t status = zarn::finaliseEnrollment(*enrollment, &bytes);
        if (status != ZARN_OK) {
            return status;
        }
        return deliver(*bytes, templ, size);
    });
}

}  // extern "C"
