// Real fingerprint sets for benchmarks: where they are and their impressions as grey images.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace zarn::bench {

// The shared development data folder, ../shared/data beside the project root.
std::string sharedDataFolder();

// The visible sets in the shared data folder that exist on this machine.
std::vector<std::string> visibleSets();

struct GreyImage {
    std::string name;  // file name without extension, e.g. 101_1
    int width = 0;
    int height = 0;
    std::vector<std::uint8_t> pixels;
};

// Every PNG directly in `folder` (or, with `recursive`, below it), sorted by path; files
// that do not decode are left out.
std::vector<GreyImage> loadPngs(const std::string& folder, bool recursive = false);

}  // namespace zarn::bench
