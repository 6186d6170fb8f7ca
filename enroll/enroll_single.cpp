#include <stdexcept>

#include "enroll.h"
#include "gray_image.h"
#include "isolated_decode.h"
#include "narrow_path.h"
#include "zarn.h"

namespace zarn {

TemplateBytes enrollSingle(const std::filesystem::path& path) {
    const std::string failure = "VX_Enroll failed for image: " + narrowPath(path);
    GrayImage image = readGrayImage(path);
    endIsolatedDecoding();

    // Zero first: an engine that succeeds without writing the size must not
    // leave us allocating an arbitrary amount.
    std::uint32_t size = 0;
    if (VX_Enroll(image.pixels.data(), image.width, image.height, nullptr, &size) != 0) {
        throw std::runtime_error(failure);
    }
    TemplateBytes templateBytes(size);
    if (VX_Enroll(image.pixels.data(), image.width, image.height, templateBytes.data(), &size) !=
        0) {
        throw std::runtime_error(failure);
    }
    return templateBytes;
}

}  // namespace zarn
