// Extraction speed at typical sensor sizes, on synthetic prints and, when the shared
// development images exist, on real prints cropped or mirror-tiled to each size.
#include <benchmark/benchmark.h>
#include <stb_image.h>

#include <algorithm>
#include <filesystem>
#include <string>
#include <vector>

#include "extract.h"
#include "synthetic_print.h"

namespace {

using zarn::GrayPlane;

constexpr const char* kRealImages = "/work/shared/data";
const int kSizes[][2] = {{256, 256}, {388, 374}, {500, 500}, {1000, 1000}};

std::vector<GrayPlane> loadRealImages() {
    std::vector<GrayPlane> images;
    std::error_code ec;
    std::vector<std::filesystem::path> paths;
    for (const auto& entry : std::filesystem::recursive_directory_iterator(kRealImages, ec))
        if (entry.path().extension() == ".png")
            paths.push_back(entry.path());
    std::sort(paths.begin(), paths.end());
    for (const auto& path : paths) {
        int w = 0, h = 0, channels = 0;
        unsigned char* data = stbi_load(path.c_str(), &w, &h, &channels, 1);
        if (!data)
            continue;
        GrayPlane image(w, h);
        std::copy(data, data + static_cast<std::size_t>(w) * h, image.pixels.begin());
        stbi_image_free(data);
        images.push_back(std::move(image));
    }
    return images;
}

// Centre crop when smaller, mirror tiling around the centre when larger.
GrayPlane fitTo(const GrayPlane& src, int width, int height) {
    GrayPlane out(width, height);
    auto mirror = [](int v, int n) {
        const int m = v % (2 * n);
        const int p = m < 0 ? m + 2 * n : m;
        return p < n ? p : 2 * n - 1 - p;
    };
    const int ox = (src.width - width) / 2, oy = (src.height - height) / 2;
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x)
            out.at(x, y) = src.at(mirror(x + ox, src.width), mirror(y + oy, src.height));
    return out;
}

void runExtraction(benchmark::State& state, const std::vector<GrayPlane>& images) {
    std::size_t next = 0;
    std::size_t minutiae = 0;
    for (auto _ : state) {
        const GrayPlane& image = images[next++ % images.size()];
        const zarn::ExtractResult result =
            zarn::extractFingerView(image.pixels.data(), image.width, image.height);
        minutiae += result.view.minutiae.size();
        benchmark::DoNotOptimize(result);
    }
    state.counters["minutiae"] =
        benchmark::Counter(static_cast<double>(minutiae), benchmark::Counter::kAvgIterations);
}

}  // namespace

int main(int argc, char** argv) {
    benchmark::Initialize(&argc, argv);
    const std::vector<GrayPlane> real = loadRealImages();
    for (const auto& size : kSizes) {
        const int w = size[0], h = size[1];
        const std::string tag = std::to_string(w) + "x" + std::to_string(h);
        std::vector<GrayPlane> synthetic;
        for (std::uint32_t seed = 1; seed <= 4; ++seed)
            synthetic.push_back(zarn::bench::makeSyntheticPrint(w, h, seed));
        benchmark::RegisterBenchmark(
            ("extract/synthetic/" + tag).c_str(),
            [synthetic](benchmark::State& s) { runExtraction(s, synthetic); })
            ->Unit(benchmark::kMillisecond)
            ->Repetitions(5)
            ->ReportAggregatesOnly(true);
        if (real.empty())
            continue;
        std::vector<GrayPlane> fitted;
        for (const GrayPlane& image : real)
            fitted.push_back(fitTo(image, w, h));
        benchmark::RegisterBenchmark(("extract/real/" + tag).c_str(),
                                     [fitted](benchmark::State& s) { runExtraction(s, fitted); })
            ->Unit(benchmark::kMillisecond)
            ->Repetitions(5)
            ->ReportAggregatesOnly(true);
    }
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
