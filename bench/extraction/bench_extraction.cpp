// Extraction speed at typical sensor sizes, on synthetic prints and, when real prints exist
// (the folder given, or ../shared/data beside the project), on those cropped or mirror-tiled
// to each size. usage: bench_extraction [benchmark options] [FOLDER]
#include <benchmark/benchmark.h>

#include <algorithm>
#include <string>
#include <vector>

#include "extract.h"
#include "real_sets.h"
#include "synthetic_print.h"

namespace {

using zarn::GrayPlane;

const int kSizes[][2] = {{256, 256}, {388, 374}, {500, 500}, {1000, 1000}};

// Every PNG below `folder` (the shared development sets by default) as a grey plane.
std::vector<GrayPlane> loadRealImages(const std::string& folder) {
    std::vector<GrayPlane> images;
    for (const zarn::bench::GreyImage& png : zarn::bench::loadPngs(folder, true)) {
        GrayPlane image(png.width, png.height);
        std::copy(png.pixels.begin(), png.pixels.end(), image.pixels.begin());
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
    // What Google Benchmark leaves is an optional folder of real prints.
    const std::string folder = argc > 1 ? argv[1] : zarn::bench::sharedDataFolder();
    const std::vector<GrayPlane> real = loadRealImages(folder);
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
