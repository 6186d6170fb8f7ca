#include "generated_fingers.h"

#include "extract.h"
#include "fingergen/impression.h"
#include "fingergen/master.h"

namespace zarn::bench {

std::vector<std::vector<FingerView>> generatedFingerViews(int fingers, int impressions, int side,
                                                          std::uint64_t seed, bool mixed) {
    using namespace zarn::gen;
    std::vector<std::vector<FingerView>> result;
    for (int f = 0; f < fingers; ++f) {
        Rng classRng = deriveRng(seed, static_cast<std::uint64_t>(f), 0xc1a55ULL);
        MasterOptions mo;
        mo.width = side;
        mo.height = side;
        mo.cls = drawClass(classRng);
        const Master master = makeMaster(mo, nextU64(classRng));
        std::vector<FingerView> views;
        for (int k = 0; k < impressions; ++k) {
            Rng rng = deriveRng(seed, static_cast<std::uint64_t>(f),
                                static_cast<std::uint64_t>(5000 + k));
            const ImpressionParams params = drawImpressionParams(
                mixed ? static_cast<Difficulty>(k % 3) : Difficulty::Hard, rng);
            const Impression imp = makeImpression(master, params, nextU64(rng));
            ExtractResult r =
                extractFingerView(imp.image.pixels.data(), imp.image.width, imp.image.height);
            r.view.imageWidth = imp.image.width;
            r.view.imageHeight = imp.image.height;
            views.push_back(r.status == ExtractStatus::Ok ? std::move(r.view) : FingerView{});
        }
        result.push_back(std::move(views));
    }
    return result;
}

}  // namespace zarn::bench
