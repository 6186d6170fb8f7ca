#include "match_fixtures.h"

#include <stb_image.h>

#include <cstdio>
#include <memory>
#include <stdexcept>

#include "enrollment.h"
#include "extract.h"
#include "iso19794.h"

namespace zarn::test {

std::vector<std::uint8_t> sampleRecord(const std::string& name) {
    const std::string path = std::string(ZARN_SAMPLES_DIR) + "/" + name + ".png";
    int width = 0, height = 0, components = 0;
    std::unique_ptr<stbi_uc, void (*)(void*)> pixels(
        stbi_load(path.c_str(), &width, &height, &components, 1), stbi_image_free);
    if (!pixels) {
        throw std::runtime_error("cannot read " + path);
    }
    const ExtractResult result = extractFingerView(pixels.get(), width, height);
    return encodeIsoRecord(buildViewRecord(result.view, 0));
}

namespace {

std::string join(const std::vector<std::uint8_t>& bytes, const char* format,
                 const char* separator) {
    std::string text;
    char digits[8];
    for (std::size_t i = 0; i < bytes.size(); ++i) {
        std::snprintf(digits, sizeof digits, format, bytes[i]);
        text += (i ? separator : "") + std::string(digits);
    }
    return text + "\n";
}

}  // namespace

std::string plainHex(const std::vector<std::uint8_t>& bytes) {
    return join(bytes, "%02x", "");
}

std::string prettyHex(const std::vector<std::uint8_t>& bytes) {
    return join(bytes, "%02X", " ");
}

std::string cstyleHex(const std::vector<std::uint8_t>& bytes) {
    return join(bytes, "0x%02X", ", ");
}

}  // namespace zarn::test
