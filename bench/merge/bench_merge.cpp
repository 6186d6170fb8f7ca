// Speed of the merge that VX_EnrollGetCount and VX_EnrollFinal run: aligning 3 or 8 extracted
// 500x500 impressions of one generated finger, fusing them and writing the record.
#include <benchmark/benchmark.h>

#include "enrollment.h"
#include "generated_fingers.h"

namespace {

void BM_Merge(benchmark::State& state) {
    const auto count = static_cast<std::size_t>(state.range(0));
    // Extraction is not timed: the views are what VX_EnrollUpdate keeps.
    static const auto fingers = zarn::bench::generatedFingerViews(1, 8, 500, 11);
    const std::vector<zarn::FingerView> views(fingers[0].begin(),
                                              fingers[0].begin() + static_cast<long>(count));
    std::size_t members = 0;
    for (auto _ : state) {
        zarn::Enrollment enrollment;
        enrollment.position = 1;
        enrollment.expectedCount = static_cast<std::uint32_t>(count);
        enrollment.views = views;
        members = zarn::mergeEnrollment(enrollment);
        const std::vector<std::uint8_t>* bytes = nullptr;
        benchmark::DoNotOptimize(zarn::finaliseEnrollment(enrollment, &bytes));
        benchmark::DoNotOptimize(bytes);
    }
    state.counters["merged"] = static_cast<double>(members);
}
BENCHMARK(BM_Merge)->Arg(3)->Arg(8)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
