// The engine's C entry points, called through the built libzarn.so the way
// the tool loads it, so the exported symbols and the library's own state are
// what is tested.
#include <dlfcn.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <string>
#include <vector>

#include "test_api_image.h"
#include "test_iso_check.h"
#include "zarn_engine.h"

namespace {

using Bytes = std::vector<std::uint8_t>;

struct Api {
    decltype(&VX_InitZARN) init = nullptr;
    decltype(&VX_UninitZARN) uninit = nullptr;
    decltype(&VX_Enroll) enroll = nullptr;
    decltype(&VX_EnrollInit) enrollInit = nullptr;
    decltype(&VX_EnrollUpdate) enrollUpdate = nullptr;
    decltype(&VX_EnrollGetCount) enrollGetCount = nullptr;
    decltype(&VX_EnrollFinal) enrollFinal = nullptr;
    std::string error;
};

// The built libzarn.so, wherever the build's library folder is.
std::string libraryPath() {
    return ZARN_ENGINE_PATH;
}

template <typename F>
void resolve(void* library, const char* name, F& function, std::string& error) {
    function = reinterpret_cast<F>(dlsym(library, name));
    if (function == nullptr) {
        error += std::string(" missing ") + name;
    }
}

const Api& api() {
    static const Api loaded = [] {
        Api a;
        void* library = dlopen(libraryPath().c_str(), RTLD_NOW | RTLD_LOCAL);
        if (library == nullptr) {
            a.error = std::string("cannot load the engine (build target zarn): ") + dlerror();
            return a;
        }
        resolve(library, "VX_InitZARN", a.init, a.error);
        resolve(library, "VX_UninitZARN", a.uninit, a.error);
        resolve(library, "VX_Enroll", a.enroll, a.error);
        resolve(library, "VX_EnrollInit", a.enrollInit, a.error);
        resolve(library, "VX_EnrollUpdate", a.enrollUpdate, a.error);
        resolve(library, "VX_EnrollGetCount", a.enrollGetCount, a.error);
        resolve(library, "VX_EnrollFinal", a.enrollFinal, a.error);
        return a;
    }();
    return loaded;
}

const Api& vx = api();

class EngineApi : public ::testing::Test {
  protected:
    void SetUp() override {
        ASSERT_TRUE(vx.error.empty()) << vx.error;
        vx.uninit();  // whatever an earlier test left behind
    }
    void TearDown() override {
        if (vx.error.empty()) {
            vx.uninit();
        }
    }
};

constexpr int kSide = 256;
const Bytes kBlank(static_cast<std::size_t>(kSide) * kSide, 200);

TEST_F(EngineApi, InitAndUninitMustPairUp) {
    EXPECT_EQ(vx.uninit(), ZARN_E_NOT_INITIALISED);
    EXPECT_EQ(vx.init(), ZARN_OK);
    EXPECT_EQ(vx.init(), ZARN_E_ALREADY_INITIALISED);
    EXPECT_EQ(vx.uninit(), ZARN_OK);
    EXPECT_EQ(vx.uninit(), ZARN_E_NOT_INITIALISED);
    EXPECT_EQ(vx.init(), ZARN_OK);
    EXPECT_EQ(vx.uninit(), ZARN_OK);
}

TEST_F(EngineApi, EveryCallFailsOutsideASession) {
    EnrollHandle open = nullptr;
    ASSERT_EQ(vx.init(), ZARN_OK);
    ASSERT_EQ(vx.enrollInit(&open, 1, 2), ZARN_OK);
    ASSERT_EQ(vx.uninit(), ZARN_OK);
    // Never initialised is checked by the first test's uninit; here: after a
    // session closed, with otherwise valid arguments and a handle it issued.
    std::uint32_t size = 777;
    std::uint32_t count = 777;
    EnrollHandle handle = nullptr;
    Bytes buffer(64, 0xAB);
    EXPECT_EQ(vx.enroll(kBlank.data(), kSide, kSide, nullptr, &size), ZARN_E_NOT_INITIALISED);
    EXPECT_EQ(vx.enrollInit(&handle, 1, 2), ZARN_E_NOT_INITIALISED);
    EXPECT_EQ(vx.enrollUpdate(open, kBlank.data(), kSide, kSide), ZARN_E_NOT_INITIALISED);
    EXPECT_EQ(vx.enrollGetCount(open, &count), ZARN_E_NOT_INITIALISED);
    EXPECT_EQ(vx.enrollFinal(open, nullptr, &size), ZARN_E_NOT_INITIALISED);
    EXPECT_EQ(vx.enrollFinal(open, buffer.data(), &size), ZARN_E_NOT_INITIALISED);
    EXPECT_EQ(size, 777u);
    EXPECT_EQ(count, 777u);
    EXPECT_EQ(handle, nullptr);
    EXPECT_EQ(buffer, Bytes(64, 0xAB));
}

TEST_F(EngineApi, NullPointersAreRefused) {
    ASSERT_EQ(vx.init(), ZARN_OK);
    EnrollHandle handle = nullptr;
    ASSERT_EQ(vx.enrollInit(&handle, 0, 1), ZARN_OK);
    std::uint32_t size = 0;
    Bytes buffer(64);
    EXPECT_EQ(vx.enroll(nullptr, kSide, kSide, nullptr, &size), ZARN_E_NULL_POINTER);
    EXPECT_EQ(vx.enroll(kBlank.data(), kSide, kSide, nullptr, nullptr), ZARN_E_NULL_POINTER);
    EXPECT_EQ(vx.enroll(kBlank.data(), kSide, kSide, buffer.data(), nullptr), ZARN_E_NULL_POINTER);
    EXPECT_EQ(vx.enrollInit(nullptr, 0, 1), ZARN_E_NULL_POINTER);
    EXPECT_EQ(vx.enrollUpdate(handle, nullptr, kSide, kSide), ZARN_E_NULL_POINTER);
    EXPECT_EQ(vx.enrollGetCount(handle, nullptr), ZARN_E_NULL_POINTER);
    EXPECT_EQ(vx.enrollFinal(handle, nullptr, nullptr), ZARN_E_NULL_POINTER);
    EXPECT_EQ(vx.enrollFinal(handle, buffer.data(), nullptr), ZARN_E_NULL_POINTER);
    // A null handle is just an unknown handle.
    EXPECT_EQ(vx.enrollGetCount(nullptr, &size), ZARN_E_BAD_HANDLE);
}

TEST_F(EngineApi, ImageSidesAreLimited) {
    ASSERT_EQ(vx.init(), ZARN_OK);
    EnrollHandle handle = nullptr;
    ASSERT_EQ(vx.enrollInit(&handle, 0, 16), ZARN_OK);
    const struct {
        int width, height;
        bool sizeOk;
    } cases[] = {{63, 64, false},   {64, 63, false},  {64, 64, true},
                 {4000, 64, true},  {64, 4000, true}, {4001, 64, false},
                 {64, 4001, false}, {0, 64, false},   {-1, 64, false}};
    for (const auto& c : cases) {
        // Blank pixels: past the size check the image fails in extraction.
        const Bytes pixels(c.sizeOk ? static_cast<std::size_t>(c.width) * c.height : 16, 200);
        std::uint32_t size = 777;
        const std::int32_t single = vx.enroll(pixels.data(), c.width, c.height, nullptr, &size);
        const std::int32_t update = vx.enrollUpdate(handle, pixels.data(), c.width, c.height);
        for (std::int32_t status : {single, update}) {
            if (c.sizeOk) {
                EXPECT_TRUE(status == ZARN_E_NO_FOREGROUND || status == ZARN_E_TOO_FEW_MINUTIAE)
                    << c.width << "x" << c.height << ": " << status;
            } else {
                EXPECT_EQ(status, ZARN_E_IMAGE_SIZE) << c.width << "x" << c.height;
            }
        }
        EXPECT_EQ(size, 777u) << "a failed call writes no size";
    }
    std::uint32_t count = 777;
    ASSERT_EQ(vx.enrollGetCount(handle, &count), ZARN_OK);
    EXPECT_EQ(count, 0u);
}

TEST_F(EngineApi, UnknownAndStaleHandlesAreRefused) {
    ASSERT_EQ(vx.init(), ZARN_OK);
    EnrollHandle stale = nullptr;
    ASSERT_EQ(vx.enrollInit(&stale, 0, 1), ZARN_OK);
    ASSERT_EQ(vx.uninit(), ZARN_OK);
    ASSERT_EQ(vx.init(), ZARN_OK);
    EnrollHandle live = nullptr;
    ASSERT_EQ(vx.enrollInit(&live, 0, 1), ZARN_OK);

    int local = 0;
    const auto liveValue = reinterpret_cast<std::uintptr_t>(live);
    const EnrollHandle bad[] = {
        nullptr,
        stale,
        &local,
        reinterpret_cast<EnrollHandle>(std::uintptr_t{1}),
        reinterpret_cast<EnrollHandle>(liveValue + 1),
        reinterpret_cast<EnrollHandle>(liveValue ^ (std::uintptr_t{1} << 40)),
        reinterpret_cast<EnrollHandle>(~std::uintptr_t{0})};
    for (EnrollHandle h : bad) {
        std::uint32_t value = 777;
        EXPECT_EQ(vx.enrollUpdate(h, kBlank.data(), kSide, kSide), ZARN_E_BAD_HANDLE) << h;
        EXPECT_EQ(vx.enrollGetCount(h, &value), ZARN_E_BAD_HANDLE) << h;
        EXPECT_EQ(vx.enrollFinal(h, nullptr, &value), ZARN_E_BAD_HANDLE) << h;
        EXPECT_EQ(value, 777u);
    }
    std::uint32_t count = 777;
    EXPECT_EQ(vx.enrollGetCount(live, &count), ZARN_OK);
    EXPECT_EQ(count, 0u);
}

TEST_F(EngineApi, EnrollInitChecksItsArguments) {
    ASSERT_EQ(vx.init(), ZARN_OK);
    EnrollHandle handle = nullptr;
    EXPECT_EQ(vx.enrollInit(&handle, 11, 1), ZARN_E_BAD_ARGUMENT);
    EXPECT_EQ(vx.enrollInit(&handle, 0, 0), ZARN_E_BAD_ARGUMENT);
    EXPECT_EQ(handle, nullptr);
    EXPECT_EQ(vx.enrollInit(&handle, 10, 1), ZARN_OK);
    EXPECT_NE(handle, nullptr);
    EXPECT_EQ(vx.enrollInit(&handle, 0, 0xFFFFFFFFu), ZARN_OK);
}

TEST_F(EngineApi, OpenHandlesAreCappedAndFreedAtUninit) {
    // The sanitizer build's leak check shows uninit frees every open handle.
    for (int session = 0; session < 2; ++session) {
        ASSERT_EQ(vx.init(), ZARN_OK);
        std::vector<EnrollHandle> handles(ZARN_MAX_ENROLLMENTS);
        for (EnrollHandle& h : handles) {
            ASSERT_EQ(vx.enrollInit(&h, 0, 1), ZARN_OK);
        }
        EnrollHandle extra = nullptr;
        EXPECT_EQ(vx.enrollInit(&extra, 0, 1), ZARN_E_TOO_MANY_HANDLES);
        std::sort(handles.begin(), handles.end());
        EXPECT_EQ(std::unique(handles.begin(), handles.end()), handles.end()) << "distinct";
        ASSERT_EQ(vx.uninit(), ZARN_OK);
    }
}

TEST_F(EngineApi, AnEnrollmentWithoutImagesHasNoTemplate) {
    ASSERT_EQ(vx.init(), ZARN_OK);
    EnrollHandle handle = nullptr;
    ASSERT_EQ(vx.enrollInit(&handle, 3, 2), ZARN_OK);
    EXPECT_EQ(vx.enrollUpdate(handle, kBlank.data(), kSide, kSide), ZARN_E_NO_FOREGROUND);
    std::uint32_t count = 777;
    ASSERT_EQ(vx.enrollGetCount(handle, &count), ZARN_OK);
    EXPECT_EQ(count, 0u);
    std::uint32_t size = 777;
    EXPECT_EQ(vx.enrollFinal(handle, nullptr, &size), ZARN_E_NO_IMAGES);
    EXPECT_EQ(size, 777u);
    EXPECT_EQ(vx.enroll(kBlank.data(), kSide, kSide, nullptr, &size), ZARN_E_NO_FOREGROUND);
    EXPECT_EQ(size, 777u);
}

// --- with minutiae: the extractor finds them in the drawn finger ---

// The size call, then the buffer call; fails the test on any error.
Bytes enrollOne(const Bytes& pixels, int width, int height) {
    std::uint32_t size = 0;
    EXPECT_EQ(vx.enroll(pixels.data(), width, height, nullptr, &size), ZARN_OK);
    Bytes out(size);
    EXPECT_EQ(vx.enroll(pixels.data(), width, height, out.data(), &size), ZARN_OK);
    return out;
}

TEST_F(EngineApi, EnrollFollowsTheSizeProtocol) {
    ASSERT_EQ(vx.init(), ZARN_OK);
    const int width = 300;
    const int height = 260;
    const Bytes pixels = zarn_test::drawSyntheticFinger(width, height);
    std::uint32_t exact = 0;
    ASSERT_EQ(vx.enroll(pixels.data(), width, height, nullptr, &exact), ZARN_OK);
    ASSERT_GE(exact, 24u + 6u + 6u * ZARN_MIN_MINUTIAE);

    for (std::uint32_t wrong : {0u, exact - 1, exact + 1, 0xFFFFFFFFu}) {
        Bytes buffer(exact + 8, 0xAB);
        std::uint32_t size = wrong;
        EXPECT_EQ(vx.enroll(pixels.data(), width, height, buffer.data(), &size), ZARN_E_BUFFER_SIZE)
            << wrong;
        EXPECT_EQ(size, wrong);
        EXPECT_EQ(buffer, Bytes(exact + 8, 0xAB)) << "nothing written for size " << wrong;
    }

    const Bytes record = enrollOne(pixels, width, height);
    ASSERT_EQ(record.size(), exact);
    EXPECT_EQ(enrollOne(pixels, width, height), record) << "repeatable";
    const auto checked = zarn_test::checkEngineRecord(record);
    EXPECT_EQ(checked.width, width);
    EXPECT_EQ(checked.height, height);
    ASSERT_EQ(checked.views.size(), 1u);
    EXPECT_EQ(checked.views[0].position, 0);
    EXPECT_GE(checked.views[0].minutiae.size(), static_cast<std::size_t>(ZARN_MIN_MINUTIAE));
}

TEST_F(EngineApi, EnrollDependsOnThePixelsOnly) {
    ASSERT_EQ(vx.init(), ZARN_OK);
    const Bytes a = zarn_test::drawSyntheticFinger(kSide, kSide);
    const Bytes b = zarn_test::drawSyntheticFinger(kSide, kSide, 9, -6);
    const Bytes recordA = enrollOne(a, kSide, kSide);
    const Bytes recordB = enrollOne(b, kSide, kSide);
    ASSERT_NE(recordA, recordB);

    // Same buffer, contents changed between the size and the buffer call:
    // the result must be the new image's or a size refusal, never the old one.
    Bytes pixels = a;
    std::uint32_t size = 0;
    ASSERT_EQ(vx.enroll(pixels.data(), kSide, kSide, nullptr, &size), ZARN_OK);
    pixels = b;
    Bytes out(size);
    const std::int32_t status = vx.enroll(pixels.data(), kSide, kSide, out.data(), &size);
    if (recordA.size() == recordB.size()) {
        EXPECT_EQ(status, ZARN_OK);
        EXPECT_EQ(out, recordB);
    } else {
        EXPECT_EQ(status, ZARN_E_BUFFER_SIZE);
    }

    // And across sessions.
    ASSERT_EQ(vx.uninit(), ZARN_OK);
    ASSERT_EQ(vx.init(), ZARN_OK);
    EXPECT_EQ(enrollOne(b, kSide, kSide), recordB);
    EXPECT_EQ(enrollOne(a, kSide, kSide), recordA);
}

TEST_F(EngineApi, MultiImageEnrollment) {
    ASSERT_EQ(vx.init(), ZARN_OK);
    EnrollHandle handle = nullptr;
    ASSERT_EQ(vx.enrollInit(&handle, 7, 3), ZARN_OK);
    const int shifts[][2] = {{0, 0}, {6, -4}, {-8, 5}, {3, 3}};
    for (int i = 0; i < 3; ++i) {
        const Bytes pixels =
            zarn_test::drawSyntheticFinger(kSide, kSide, shifts[i][0], shifts[i][1]);
        ASSERT_EQ(vx.enrollUpdate(handle, pixels.data(), kSide, kSide), ZARN_OK) << i;
    }
    const Bytes fourth = zarn_test::drawSyntheticFinger(kSide, kSide, shifts[3][0], shifts[3][1]);
    EXPECT_EQ(vx.enrollUpdate(handle, fourth.data(), kSide, kSide), ZARN_E_TOO_MANY_IMAGES);
    std::uint32_t count = 0;
    ASSERT_EQ(vx.enrollGetCount(handle, &count), ZARN_OK);
    EXPECT_EQ(count, 3u);

    std::uint32_t exact = 0;
    ASSERT_EQ(vx.enrollFinal(handle, nullptr, &exact), ZARN_OK);
    Bytes wrong(exact + 1, 0xAB);
    std::uint32_t wrongSize = exact + 1;
    EXPECT_EQ(vx.enrollFinal(handle, wrong.data(), &wrongSize), ZARN_E_BUFFER_SIZE);
    EXPECT_EQ(wrong, Bytes(exact + 1, 0xAB));
    Bytes record(exact);
    ASSERT_EQ(vx.enrollFinal(handle, record.data(), &exact), ZARN_OK);
    Bytes again(exact);
    ASSERT_EQ(vx.enrollFinal(handle, again.data(), &exact), ZARN_OK);
    EXPECT_EQ(again, record);

    // The three impressions are merged into one view.
    const auto checked = zarn_test::checkEngineRecord(record);
    ASSERT_EQ(checked.views.size(), 1u);
    EXPECT_EQ(checked.views[0].position, 7);
    EXPECT_EQ(checked.views[0].viewNumber, 0);
    EXPECT_GE(checked.views[0].minutiae.size(), static_cast<std::size_t>(ZARN_MIN_MINUTIAE));
    // The template is fixed once built.
    EXPECT_EQ(vx.enrollUpdate(handle, fourth.data(), kSide, kSide), ZARN_E_FINALISED);

    // An enrollment takes ZARN_MAX_ENROLL_IMAGES images at most, whatever was
    // announced, and merges them all.
    EnrollHandle big = nullptr;
    ASSERT_EQ(vx.enrollInit(&big, 1, 40), ZARN_OK);
    const Bytes pixels = zarn_test::drawSyntheticFinger(kSide, kSide);
    for (int i = 0; i < ZARN_MAX_ENROLL_IMAGES; ++i) {
        ASSERT_EQ(vx.enrollUpdate(big, pixels.data(), kSide, kSide), ZARN_OK) << i;
    }
    EXPECT_EQ(vx.enrollUpdate(big, pixels.data(), kSide, kSide), ZARN_E_TOO_MANY_IMAGES);
    ASSERT_EQ(vx.enrollGetCount(big, &count), ZARN_OK);
    EXPECT_EQ(count, static_cast<std::uint32_t>(ZARN_MAX_ENROLL_IMAGES));
    ASSERT_EQ(vx.enrollFinal(big, nullptr, &exact), ZARN_OK);

    // A single image is nothing to merge: no template, and a status that says why.
    EnrollHandle single = nullptr;
    ASSERT_EQ(vx.enrollInit(&single, 1, 1), ZARN_OK);
    ASSERT_EQ(vx.enrollUpdate(single, pixels.data(), kSide, kSide), ZARN_OK);
    ASSERT_EQ(vx.enrollGetCount(single, &count), ZARN_OK);
    EXPECT_EQ(count, 1u);
    std::uint32_t untouched = 777;
    EXPECT_EQ(vx.enrollFinal(single, nullptr, &untouched), ZARN_E_NOT_ALIGNED);
    EXPECT_EQ(untouched, 777u);
}

}  // namespace
