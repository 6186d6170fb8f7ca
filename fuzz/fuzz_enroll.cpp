// VX_Enroll on fuzzer-chosen sizes and pixels: any status is fine, but a
// success must give the same valid record from the size and buffer calls.
#include <cstdlib>
#include <vector>

#include "fuzz_images.h"
#include "iso19794.h"
#include "zarn.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const auto image = zarn::fuzz::takeImage(data, size);
    if (VX_InitZARN() != 0) {
        std::abort();
    }
    const std::uint8_t* pixels = image.pixels.empty() ? nullptr : image.pixels.data();
    std::uint32_t length = 0;
    if (VX_Enroll(pixels, image.width, image.height, nullptr, &length) == 0) {
        std::vector<std::uint8_t> record(length);
        if (VX_Enroll(pixels, image.width, image.height, record.data(), &length) != 0 ||
            !zarn::decodeIsoRecord(record.data(), record.size())) {
            std::abort();
        }
    }
    if (VX_UninitZARN() != 0) {
        std::abort();
    }
    return 0;
}
