// One extraction and nothing else, so `/usr/bin/time -v` shows its peak memory.
// Usage: zarn-extract-once [image.png]   (default: a synthetic 1000x1000 print)
#include <stb_image.h>

#include <algorithm>
#include <cstdio>

#include "extract.h"
#include "synthetic_print.h"

int main(int argc, char** argv) {
    zarn::GrayPlane image;
    if (argc > 1) {
        int w = 0, h = 0, channels = 0;
        unsigned char* data = stbi_load(argv[1], &w, &h, &channels, 1);
        if (!data) {
            std::fprintf(stderr, "cannot read %s\n", argv[1]);
            return 1;
        }
        image = zarn::GrayPlane(w, h);
        std::copy(data, data + static_cast<std::size_t>(w) * h, image.pixels.begin());
        stbi_image_free(data);
    } else {
        image = zarn::bench::makeSyntheticPrint(1000, 1000, 1);
    }
    const zarn::ExtractResult result =
        zarn::extractFingerView(image.pixels.data(), image.width, image.height);
    std::printf("%dx%d status %d minutiae %zu quality %d\n", image.width, image.height,
                static_cast<int>(result.status), result.view.minutiae.size(),
                result.view.fingerQuality);
    return 0;
}
