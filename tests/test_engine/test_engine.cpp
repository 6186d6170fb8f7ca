// A scriptable stand-in for libzarn.so, for driving the tool's error paths.
// The test picks the results through environment variables and reads back
// the calls the tool made, one line each, from a log file:
//   ZARN_TEST_LOG       file that receives one line per call, appended
//   ZARN_TEST_FAIL      comma-separated calls that return 1: a name fails every
//                       call, "name#N" only the N-th call (1-based)
//   ZARN_TEST_SILENT    comma-separated calls that return 0 without writing
//                       their output (size, count or handle)
//   ZARN_TEST_TEMPLATE  template bytes as hex (default "0a1b2c")
//   ZARN_TEST_SIZE      size reported by the size query (default: template)
//   ZARN_TEST_COUNT     count reported by VX_EnrollGetCount (default: updates)
#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <map>
#include <sstream>
#include <string>
#include <vector>

#include "zarn.h"

namespace {

std::string env(const char* name, const char* fallback = "") {
    const char* value = std::getenv(name);
    return value ? value : fallback;
}

std::vector<std::string> splitList(const std::string& text) {
    std::vector<std::string> items;
    std::stringstream stream(text);
    std::string item;
    while (std::getline(stream, item, ',')) {
        if (!item.empty()) {
            items.push_back(item);
        }
    }
    return items;
}

std::map<std::string, int>& callCounts() {
    static std::map<std::string, int> counts;
    return counts;
}

int g_updates = 0;
int g_handle = 0;

// Counts the call and says whether the script wants it to fail.
bool scriptedFailure(const std::string& name) {
    const int call = ++callCounts()[name];
    for (const auto& item : splitList(env("ZARN_TEST_FAIL"))) {
        if (item == name || item == name + "#" + std::to_string(call)) {
            return true;
        }
    }
    return false;
}

bool silent(const std::string& name) {
    for (const auto& item : splitList(env("ZARN_TEST_SILENT"))) {
        if (item == name) {
            return true;
        }
    }
    return false;
}

void logLine(const std::string& line) {
    const std::string path = env("ZARN_TEST_LOG");
    if (path.empty()) {
        return;
    }
    // Binary, so a Windows build writes the same "\n" line ends.
    if (FILE* file = std::fopen(path.c_str(), "ab")) {
        std::fprintf(file, "%s\n", line.c_str());
        std::fclose(file);
    }
}

std::vector<std::uint8_t> scriptedTemplate() {
    const std::string hex = env("ZARN_TEST_TEMPLATE", "0a1b2c");
    std::vector<std::uint8_t> bytes;
    for (std::size_t i = 0; i + 1 < hex.size(); i += 2) {
        bytes.push_back(static_cast<std::uint8_t>(std::stoul(hex.substr(i, 2), nullptr, 16)));
    }
    return bytes;
}

std::uint32_t scriptedSize() {
    const std::string size = env("ZARN_TEST_SIZE");
    return size.empty() ? static_cast<std::uint32_t>(scriptedTemplate().size())
                        : static_cast<std::uint32_t>(std::stoul(size));
}

// A fingerprint of the pixels, so tests can check what the tool decoded.
std::string describePixels(const std::uint8_t* pixels, std::int32_t width, std::int32_t height) {
    std::ostringstream text;
    text << width << "x" << height;
    if (pixels && width > 0 && height > 0) {
        const std::size_t count = static_cast<std::size_t>(width) * height;
        std::uint32_t hash = 2166136261u;
        for (std::size_t i = 0; i < count; ++i) {
            hash = (hash ^ pixels[i]) * 16777619u;
        }
        text << " hash=" << hash << " first=" << static_cast<int>(pixels[0])
             << " last=" << static_cast<int>(pixels[count - 1]);
    }
    return text.str();
}

std::int32_t writeTemplate(const char* name, std::uint8_t* templ, std::uint32_t* size) {
    std::ostringstream line;
    line << name << " buffer=" << (templ ? "set" : "null") << " size=" << (size ? *size : 0);
    logLine(line.str());
    if (scriptedFailure(name)) {
        return 1;
    }
    if (silent(name)) {
        return 0;
    }
    if (!templ) {
        *size = scriptedSize();
        return 0;
    }
    const auto bytes = scriptedTemplate();
    std::memcpy(templ, bytes.data(), std::min<std::size_t>(bytes.size(), *size));
    return 0;
}

}  // namespace

extern "C" {

int32_t VX_InitZARN(void) {
    logLine("VX_InitZARN");
    return scriptedFailure("VX_InitZARN") ? 1 : 0;
}

int32_t VX_UninitZARN(void) {
    logLine("VX_UninitZARN");
    return scriptedFailure("VX_UninitZARN") ? 1 : 0;
}

int32_t VX_Enroll(const uint8_t* pixels, int32_t width, int32_t height, uint8_t* templ,
                  uint32_t* size) {
    logLine("VX_Enroll " + describePixels(pixels, width, height));
    return writeTemplate("VX_Enroll", templ, size);
}

int32_t VX_EnrollInit(EnrollHandle* handle, uint32_t position, uint32_t count) {
    logLine("VX_EnrollInit position=" + std::to_string(position) +
            " count=" + std::to_string(count));
    if (scriptedFailure("VX_EnrollInit")) {
        return 1;
    }
    if (!silent("VX_EnrollInit")) {
        *handle = &g_handle;
    }
    return 0;
}

int32_t VX_EnrollUpdate(EnrollHandle handle, const uint8_t* pixels, int32_t width, int32_t height) {
    logLine(std::string("VX_EnrollUpdate handle=") + (handle == &g_handle ? "ok" : "bad") + " " +
            describePixels(pixels, width, height));
    if (scriptedFailure("VX_EnrollUpdate")) {
        return 1;
    }
    ++g_updates;
    return 0;
}

int32_t VX_EnrollGetCount(EnrollHandle, uint32_t* count) {
    logLine("VX_EnrollGetCount");
    if (scriptedFailure("VX_EnrollGetCount")) {
        return 1;
    }
    if (!silent("VX_EnrollGetCount")) {
        const std::string scripted = env("ZARN_TEST_COUNT");
        *count = scripted.empty() ? static_cast<std::uint32_t>(g_updates)
                                  : static_cast<std::uint32_t>(std::stoul(scripted));
    }
    return 0;
}

int32_t VX_EnrollFinal(EnrollHandle, uint8_t* templ, uint32_t* size) {
    return writeTemplate("VX_EnrollFinal", templ, size);
}
}
