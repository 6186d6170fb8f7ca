#include "template_bytes.h"

#include <cctype>
#include <fstream>
#include <iterator>
#include <sstream>

namespace zarn_viewer {

namespace {

int hexValue(char c) {
    if (c >= '0' && c <= '9') {
        return c - '0';
    }
    const int lower = std::tolower(static_cast<unsigned char>(c));
    return lower >= 'a' && lower <= 'f' ? lower - 'a' + 10 : -1;
}

}  // namespace

std::optional<std::vector<std::uint8_t>> parseHex(const std::string& text) {
    std::vector<std::uint8_t> bytes;
    int high = -1;
    for (char c : text) {
        if (std::isspace(static_cast<unsigned char>(c))) {
            continue;
        }
        const int value = hexValue(c);
        if (value < 0) {
            return std::nullopt;
        }
        if (high < 0) {
            high = value;
        } else {
            bytes.push_back(static_cast<std::uint8_t>(high * 16 + value));
            high = -1;
        }
    }
    if (high >= 0 || bytes.empty()) {
        return std::nullopt;
    }
    return bytes;
}

std::optional<std::vector<std::uint8_t>> loadTemplateBytes(const std::string& argument) {
    std::ifstream file(argument, std::ios::binary);
    if (!file) {
        return parseHex(argument);
    }
    const std::string contents((std::istreambuf_iterator<char>(file)),
                               std::istreambuf_iterator<char>());
    if (auto hex = parseHex(contents)) {
        return hex;
    }
    if (contents.empty()) {
        return std::nullopt;
    }
    return std::vector<std::uint8_t>(contents.begin(), contents.end());
}

}  // namespace zarn_viewer
