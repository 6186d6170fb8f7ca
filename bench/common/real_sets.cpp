#include "real_sets.h"

#include <stb_image.h>

#include <algorithm>
#include <filesystem>

namespace zarn::bench {

namespace fs = std::filesystem;

std::string sharedDataFolder() {
    return (fs::path(ZARN_PROJECT_ROOT).parent_path() / "shared" / "data").string();
}

std::vector<std::string> visibleSets() {
    std::vector<std::string> sets;
    for (const char* name : {"fvc2002-db1b", "fvc2004-db1b"}) {
        const fs::path path = fs::path(sharedDataFolder()) / name;
        std::error_code ec;
        if (fs::is_directory(path, ec))
            sets.push_back(path.string());
    }
    return sets;
}

std::vector<GreyImage> loadPngs(const std::string& folder, bool recursive) {
    std::vector<fs::path> paths;
    std::error_code ec;
    auto take = [&](const fs::directory_entry& entry) {
        if (entry.path().extension() == ".png")
            paths.push_back(entry.path());
    };
    if (recursive)
        for (const auto& entry : fs::recursive_directory_iterator(folder, ec))
            take(entry);
    else
        for (const auto& entry : fs::directory_iterator(folder, ec))
            take(entry);
    std::sort(paths.begin(), paths.end());
    std::vector<GreyImage> images;
    for (const fs::path& path : paths) {
        int w = 0, h = 0, channels = 0;
        unsigned char* data = stbi_load(path.c_str(), &w, &h, &channels, 1);
        if (!data)
            continue;
        GreyImage image{path.stem().string(), w, h, {}};
        image.pixels.assign(data, data + static_cast<std::size_t>(w) * h);
        stbi_image_free(data);
        images.push_back(std::move(image));
    }
    return images;
}

}  // namespace zarn::bench
