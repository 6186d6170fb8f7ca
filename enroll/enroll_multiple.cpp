#include <stdexcept>
#include <string>

#include "enroll.h"
#include "gray_image.h"
#include "isolated_decode.h"
#include "narrow_path.h"
#include "zarn.h"

namespace zarn {

namespace {

void addImage(EnrollHandle handle, const std::filesystem::path& path) {
    // Scoped so that only one decoded image is alive at a time.
    const GrayImage image = readGrayImage(path);
    if (VX_EnrollUpdate(handle, image.pixels.data(), image.width, image.height) != 0) {
        throw std::runtime_error("VX_EnrollUpdate failed for image: " + narrowPath(path));
    }
}

}  // namespace

TemplateBytes enrollMultiple(const std::vector<std::filesystem::path>& paths,
                             std::uint32_t position) {
    const auto count = static_cast<std::uint32_t>(paths.size());
    EnrollHandle handle = nullptr;
    if (VX_EnrollInit(&handle, position, count) != 0) {
        throw std::runtime_error("VX_EnrollInit failed for image: " + narrowPath(paths.front()));
    }
    for (const auto& path : paths) {
        addImage(handle, path);
    }
    // One decoding child served every image; it is not needed for the merge.
    endIsolatedDecoding();

    std::uint32_t accepted = 0;
    if (VX_EnrollGetCount(handle, &accepted) != 0) {
        throw std::runtime_error("VX_EnrollGetCount failed");
    }
    if (accepted != count) {
        throw std::runtime_error("Wrong enroll count:\n\tExpected: " + std::to_string(count) +
                                 "\n\tActual: " + std::to_string(accepted));
    }

    std::uint32_t size = 0;
    if (VX_EnrollFinal(handle, nullptr, &size) != 0) {
        throw std::runtime_error("VX_EnrollFinal failed");
    }
    TemplateBytes templateBytes(size);
    if (VX_EnrollFinal(handle, templateBytes.data(), &size) != 0) {
        throw std::runtime_error("VX_EnrollFinal failed");
    }
    return templateBytes;
}

}  // namespace zarn
