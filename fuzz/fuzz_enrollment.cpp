// A whole multi-image enrollment on fuzzed images: 2 to 4 images of fuzzed
// sizes and pixels, any finger position, every call in the tool's order.
#include <cstdlib>
#include <vector>

#include "fuzz_images.h"
#include "iso19794.h"
#include "zarn.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size < 2) {
        return 0;
    }
    const std::uint32_t count = 2 + data[0] % 3;
    const std::uint32_t position = data[1] % 12;
    data += 2;
    size -= 2;
    if (VX_InitZARN() != 0) {
        std::abort();
    }
    EnrollHandle handle = nullptr;
    if (VX_EnrollInit(&handle, position, count) == 0) {
        std::uint32_t accepted = 0;
        for (std::uint32_t i = 0; i < count; ++i) {
            const auto image = zarn::fuzz::takeImage(data, size);
            VX_EnrollUpdate(handle, image.pixels.empty() ? nullptr : image.pixels.data(),
                            image.width, image.height);
        }
        std::uint32_t length = 0;
        if (VX_EnrollGetCount(handle, &accepted) == 0 && accepted > count) {
            std::abort();
        }
        if (VX_EnrollFinal(handle, nullptr, &length) == 0) {
            std::vector<std::uint8_t> record(length);
            if (VX_EnrollFinal(handle, record.data(), &length) != 0 ||
                !zarn::decodeIsoRecord(record.data(), record.size())) {
                std::abort();
            }
        }
    }
    if (VX_UninitZARN() != 0) {
        std::abort();
    }
    return 0;
}
