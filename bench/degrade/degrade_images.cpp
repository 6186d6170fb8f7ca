// degrade_images: writes the degraded copies of every PNG in SET_DIR into
// OUT_DIR/<degradation>/, same file names, for degrade.py to score.
#include <stb_image_write.h>

#include <cstdio>
#include <filesystem>
#include <functional>
#include <string>

#include "degradations.h"
#include "real_sets.h"

using namespace zarn::bench;

int main(int argc, char** argv) {
    if (argc != 3) {
        std::fprintf(stderr, "usage: degrade_images SET_DIR OUT_DIR\n");
        return 2;
    }
    const std::vector<GreyImage> images = loadPngs(argv[1]);
    if (images.empty()) {
        std::fprintf(stderr, "degrade_images: no PNG images in %s\n", argv[1]);
        return 1;
    }
    namespace fs = std::filesystem;
    for (const Degradation& d : degradations()) {
        const fs::path folder = fs::path(argv[2]) / d.name;
        fs::create_directories(folder);
        for (const GreyImage& image : images) {
            // Seeded by the image name, so every run writes the same files.
            const auto seed = static_cast<std::uint32_t>(std::hash<std::string>{}(image.name));
            const GreyImage out = d.apply(image, seed);
            const std::string path = (folder / (image.name + ".png")).string();
            if (!stbi_write_png(path.c_str(), out.width, out.height, 1, out.pixels.data(),
                                out.width)) {
                std::fprintf(stderr, "degrade_images: cannot write %s\n", path.c_str());
                return 1;
            }
        }
    }
    return 0;
}
