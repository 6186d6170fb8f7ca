// own_matcher_eer: our extractor and our matcher on real sets, every pair of impressions
// scored (same finger genuine, different fingers impostor), as interop.py scores them with
// bozorth3. Prints per set the EER, FNMR at FMR 1%, failures to enroll, median minutiae and
// the mean extraction time. Folders given, or the visible sets in ../shared/data.
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <string>
#include <vector>

#include "error_rates.h"
#include "extract.h"
#include "matcher.h"
#include "real_sets.h"

using namespace zarn;

namespace {

struct Template {
    std::string finger;
    bool ok = false;
    FingerView view;
};

void report(const std::string& folder) {
    const std::vector<bench::GreyImage> images = bench::loadPngs(folder);
    if (images.empty()) {
        std::printf("%s: no PNG images\n", folder.c_str());
        return;
    }
    std::vector<Template> templates;
    std::vector<std::size_t> counts;
    double seconds = 0;
    for (const bench::GreyImage& image : images) {
        const auto t0 = std::chrono::steady_clock::now();
        ExtractResult r = extractFingerView(image.pixels.data(), image.width, image.height);
        seconds += std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
        Template t{image.name.substr(0, image.name.find('_')), r.status == ExtractStatus::Ok,
                   std::move(r.view)};
        if (t.ok)
            counts.push_back(t.view.minutiae.size());
        templates.push_back(std::move(t));
    }
    std::vector<float> genuine, impostor;
    for (std::size_t a = 0; a < templates.size(); ++a)
        for (std::size_t b = a + 1; b < templates.size(); ++b) {
            const Template &p = templates[a], &g = templates[b];
            // A failure to enroll takes part with the lowest score.
            const float s = p.ok && g.ok ? matchScore(p.view, g.view) : 0.0f;
            (p.finger == g.finger ? genuine : impostor).push_back(s);
        }
    const bench::ErrorRates r = bench::errorRates(genuine, impostor);
    std::size_t median = 0;
    if (!counts.empty()) {
        std::nth_element(counts.begin(), counts.begin() + counts.size() / 2, counts.end());
        median = counts[counts.size() / 2];
    }
    std::printf("%-40s EER %6.2f%%  FNMR@1%% %6.2f%%  FTE %zu  median %zu  %.2f ms/image\n",
                folder.c_str(), 100 * r.eer, 100 * r.fnmrAtFmr1, images.size() - counts.size(),
                median, 1000 * seconds / static_cast<double>(images.size()));
}

}  // namespace

int main(int argc, char** argv) {
    std::vector<std::string> sets(argv + 1, argv + argc);
    if (sets.empty())
        sets = bench::visibleSets();
    if (sets.empty()) {
        std::printf("own_matcher_eer: skipped, no set folder given and none in %s\n",
                    bench::sharedDataFolder().c_str());
        return 0;
    }
    for (const std::string& folder : sets)
        report(folder);
    return 0;
}
