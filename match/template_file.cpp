#include "template_file.h"

#include <cctype>
#include <cerrno>
#include <cmath>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <stdexcept>

#include "iso19794.h"

namespace zarn::match {

namespace {

// Pixels per centimetre at 500 dpi, the scale the matcher's tolerances assume.
constexpr double kMatcherResolution = 197;
// A template larger than this is no finger minutiae record (255 views of 255
// minutiae fit in well under a megabyte), so nothing bigger is read whole.
constexpr std::size_t kMaxTemplateFileBytes = 4 << 20;
constexpr float kPi = 3.14159265358979f;

int hexValue(char c) {
    if (c >= '0' && c <= '9') {
        return c - '0';
    }
    const int lower = std::tolower(static_cast<unsigned char>(c));
    return lower >= 'a' && lower <= 'f' ? lower - 'a' + 10 : -1;
}

std::runtime_error unusable(const std::string& path, const std::string& why) {
    return std::runtime_error(path + ": " + why);
}

std::uint32_t declaredLength(const std::vector<std::uint8_t>& bytes) {
    return (std::uint32_t{bytes[8]} << 24) | (std::uint32_t{bytes[9]} << 16) |
           (std::uint32_t{bytes[10]} << 8) | std::uint32_t{bytes[11]};
}

FingerView viewOf(const IsoFingerView& iso, const IsoRecord& record) {
    const double scaleX = kMatcherResolution / record.resolutionX;
    const double scaleY = kMatcherResolution / record.resolutionY;
    FingerView view;
    view.imageWidth = static_cast<int>(std::lround(record.width * scaleX));
    view.imageHeight = static_cast<int>(std::lround(record.height * scaleY));
    view.fingerQuality = iso.quality;
    for (const IsoMinutia& m : iso.minutiae) {
        Minutia minutia;
        minutia.x = static_cast<float>(m.x * scaleX);
        minutia.y = static_cast<float>(m.y * scaleY);
        minutia.direction = static_cast<float>(m.angle) * (2 * kPi / 256);
        minutia.type = m.type == 2 ? MinutiaType::Bifurcation : MinutiaType::RidgeEnding;
        minutia.quality = m.quality;
        view.minutiae.push_back(minutia);
    }
    return view;
}

}  // namespace

std::vector<std::uint8_t> parseHexText(const std::string& text) {
    std::vector<std::uint8_t> bytes;
    std::size_t i = 0;
    const auto skipSeparators = [&](bool allowComma) {
        while (i < text.size() && (std::isspace(static_cast<unsigned char>(text[i])) ||
                                   (allowComma && text[i] == ','))) {
            ++i;
        }
    };
    skipSeparators(false);
    while (i < text.size()) {
        // A byte may be written "0x0a"; 'x' is no hex digit, so this cannot
        // misread plain digits.
        if (text[i] == '0' && i + 1 < text.size() && (text[i + 1] == 'x' || text[i + 1] == 'X')) {
            i += 2;
        }
        if (i + 1 >= text.size()) {
            return {};
        }
        const int high = hexValue(text[i]);
        const int low = hexValue(text[i + 1]);
        if (high < 0 || low < 0) {
            return {};
        }
        bytes.push_back(static_cast<std::uint8_t>(high * 16 + low));
        i += 2;
        skipSeparators(true);
    }
    return bytes;
}

std::vector<FingerView> templateViews(const std::vector<std::uint8_t>& contents,
                                      const std::string& path) {
    static constexpr char kMagic[] = {'F', 'M', 'R', 0};
    std::vector<std::uint8_t> bytes = contents;
    if (bytes.size() < sizeof kMagic || std::memcmp(bytes.data(), kMagic, sizeof kMagic) != 0) {
        bytes = parseHexText(std::string(contents.begin(), contents.end()));
    }
    if (bytes.empty()) {
        throw unusable(path, "empty, or neither a record nor its hexadecimal text");
    }
    if (bytes.size() < kIsoHeaderSize || std::memcmp(bytes.data(), kMagic, sizeof kMagic) != 0) {
        throw unusable(path, "not a finger minutiae record");
    }
    if (declaredLength(bytes) != bytes.size()) {
        throw unusable(path, "the record's size field says " +
                                 std::to_string(declaredLength(bytes)) + " bytes, it holds " +
                                 std::to_string(bytes.size()));
    }
    const auto record = decodeIsoRecord(bytes.data(), bytes.size());
    if (!record) {
        throw unusable(path, "not a well-formed finger minutiae record");
    }
    std::vector<FingerView> views;
    std::size_t minutiae = 0;
    for (const IsoFingerView& iso : record->views) {
        views.push_back(viewOf(iso, *record));
        minutiae += iso.minutiae.size();
    }
    if (minutiae == 0) {
        throw unusable(path, "the record holds no minutiae");
    }
    return views;
}

std::vector<FingerView> readTemplateFile(const std::string& path) {
    // Only a regular file is read: a directory is no template, and a pipe or
    // device could block the run or never end.
    std::error_code error;
    const auto status = std::filesystem::status(path, error);
    if (std::filesystem::is_directory(status)) {
        throw unusable(path, "cannot be read: it is a directory");
    }
    if (std::filesystem::exists(status) && !std::filesystem::is_regular_file(status)) {
        throw unusable(path, "cannot be read: not a regular file");
    }
    std::ifstream file(path, std::ios::binary);
    if (!file) {
        throw unusable(path, std::string("cannot be read: ") + std::strerror(errno));
    }
    std::vector<std::uint8_t> contents;
    char buffer[65536];
    while (file.read(buffer, sizeof buffer) || file.gcount() > 0) {
        contents.insert(contents.end(), buffer, buffer + file.gcount());
        if (contents.size() > kMaxTemplateFileBytes) {
            throw unusable(path, "too large for a finger minutiae record");
        }
    }
    if (file.bad()) {
        throw unusable(path, "cannot be read");
    }
    return templateViews(contents, path);
}

}  // namespace zarn::match
