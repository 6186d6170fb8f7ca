// zarn-recall-stages: for one image and a list of reference minutiae, which references
// the default engine finds and, for each one it misses, the stage that lost it; and which
// of its own minutiae no reference has. bench/recall/recall.py runs it over whole sets.
#include <stb_image.h>
#include <stb_image_write.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <fstream>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

#include "block_map.h"
#include "extract_debug.h"
#include "minutia_pairing.h"
#include "overlay_picture.h"
#include "thinning.h"
#include "tuning.h"

using namespace zarn;

namespace {

const char* const kUsage =
    "usage: zarn-recall-stages IMAGE REFERENCES [OUT.png]\n"
    "  REFERENCES  one minutia a line, 'x y degrees type' (type ending, bifurcation or\n"
    "              other; pixels from the top-left, y down; directions counter-clockwise\n"
    "              as seen, ISO conventions); lines starting with # are skipped\n"
    "  OUT.png     also draw the references and ours over the image, the binary image\n"
    "              and the skeleton\n"
    "prints 'ref x y degrees type fate border_distance clarity dual' for each reference\n"
    "and 'ours x y degrees type quality fate nearest_distance dual border_distance' for\n"
    "each of our minutiae; dual is 1 where the valley skeleton has the dual minutia (the\n"
    "other type, the same direction, within 12 px and 30 degrees), 2 where it has a\n"
    "minutia of the wrong type there, 0 where it has none; border_distance is in pixels\n"
    "from our foreground mask's edge; and 'valley x y degrees type fate' for each\n"
    "valley minutia with nothing of the ridge skeleton within 12 px\n";

constexpr float kPi = 3.14159265f;
// A reference and one of ours are the same minutia within 12 px (about 1.3 ridge periods
// at 500 dpi: extractors put an ending anywhere from the skeleton's end to the ridge's
// tip, half a period apart, while the next ridge's minutiae lie a period or more away)
// and 30 degrees (about three times the spread of two extractors' directions for the
// same minutia).
constexpr float kSameDistance = 12.0f;
constexpr float kSameAngle = 30.0f * kPi / 180.0f;
// Opposite directions: the same place read as the other type, or traced the wrong way.
constexpr float kReversedAngle = 150.0f * kPi / 180.0f;
// How far to look for the print's border; farther counts as the interior anyway.
constexpr int kBorderSearch = 48;

struct Reference {
    Minutia minutia;
    std::string type;
};

std::vector<Reference> readReferences(const char* path) {
    std::ifstream in(path);
    std::vector<Reference> refs;
    std::string line;
    while (std::getline(in, line)) {
        if (line.empty() || line[0] == '#')
            continue;
        std::istringstream fields(line);
        Reference r;
        float degrees = 0;
        if (!(fields >> r.minutia.x >> r.minutia.y >> degrees >> r.type))
            continue;
        r.minutia.direction = std::fmod(degrees * kPi / 180.0f + 4 * kPi, 2 * kPi);
        r.minutia.type =
            r.type == "bifurcation" ? MinutiaType::Bifurcation : MinutiaType::RidgeEnding;
        refs.push_back(r);
    }
    return refs;
}

// Candidates in the record's terms: y down, directions counter-clockwise as seen.
std::vector<Minutia> asMinutiae(const std::vector<Candidate>& candidates) {
    std::vector<Minutia> out;
    for (const Candidate& c : candidates) {
        Minutia m;
        m.x = static_cast<float>(c.x) + c.shiftX;
        m.y = static_cast<float>(c.y) + c.shiftY;
        m.direction = std::fmod(2 * kPi - c.angle, 2 * kPi);
        m.type = c.type;
        out.push_back(m);
    }
    return out;
}

// What the stages had, in the record's terms, for telling where a minutia was lost.
struct StageMinutiae {
    std::vector<Minutia> candidates;  // on the final skeleton, in the filters' order
    std::vector<Minutia> unpruned;    // on the skeleton before spur pruning
};

float distance(const Minutia& a, const Minutia& b) {
    return std::hypot(a.x - b.x, a.y - b.y);
}

// Index of the nearest minutia within kSameDistance whose direction differs from `m` by
// between `minAngle` and `maxAngle`, or -1.
int nearest(const Minutia& m, const std::vector<Minutia>& list, float minAngle, float maxAngle) {
    int best = -1;
    float bestDistance = kSameDistance;
    for (std::size_t i = 0; i < list.size(); ++i) {
        const float d = distance(m, list[i]);
        const float a = bench::angleDifference(m.direction, list[i].direction);
        if (d <= bestDistance && a >= minAngle && a <= maxAngle) {
            best = static_cast<int>(i);
            bestDistance = d;
        }
    }
    return best;
}

const char* reasonName(DropReason r) {
    switch (r) {
        case DropReason::Kept:
            return "capped";
        case DropReason::Border:
            return "filter-border";
        case DropReason::AgainstFlow:
            return "filter-flow";
        case DropReason::Spur:
            return "filter-spur";
        case DropReason::Bridge:
            return "filter-bridge";
        case DropReason::Partner:
            return "filter-partner";
        case DropReason::BrokenRidge:
            return "filter-broken";
        case DropReason::Cluster:
            return "filter-cluster";
    }
    return "filter";
}

// Why a reference that none of ours pairs with was lost, tried stage by stage from the
// end of the pipeline back: a minutia of ours there the other way round, the mask, a
// filter (or the cap on the count), spur pruning, else the ridge map itself.
std::string fateOfMissed(const Reference& ref, const std::vector<Minutia>& ours,
                         const ExtractStages& stages, const StageMinutiae& found) {
    const Minutia& m = ref.minutia;
    if (nearest(m, ours, kReversedAngle, kPi) >= 0)
        return "reversed";
    if (nearest(m, ours, 0, kPi) >= 0)
        return "misdirected";
    const int x = static_cast<int>(std::lround(m.x)), y = static_cast<int>(std::lround(m.y));
    if (x < 0 || y < 0 || x >= stages.mask.width || y >= stages.mask.height ||
        stages.mask.at(x, y) == 0)
        return "mask";
    const std::vector<Minutia>& candidates = found.candidates;
    const int dropped = nearest(m, candidates, 0, kSameAngle);
    if (dropped >= 0)
        return reasonName(stages.dropReasons[dropped]);
    const std::vector<Minutia>& unpruned = found.unpruned;
    if (nearest(m, unpruned, 0, kSameAngle) >= 0)
        return "pruning";
    if (nearest(m, candidates, kReversedAngle, kPi) >= 0 ||
        nearest(m, unpruned, kReversedAngle, kPi) >= 0)
        return "ridge-map-reversed";
    return "ridge-map";
}

float borderDistance(const GrayPlane& mask, float fx, float fy) {
    const int x0 = static_cast<int>(std::lround(fx)), y0 = static_cast<int>(std::lround(fy));
    float best = kBorderSearch;
    for (int dy = -kBorderSearch; dy <= kBorderSearch; ++dy)
        for (int dx = -kBorderSearch; dx <= kBorderSearch; ++dx) {
            const int x = x0 + dx, y = y0 + dy;
            const bool outside =
                x < 0 || y < 0 || x >= mask.width || y >= mask.height || mask.at(x, y) == 0;
            if (outside)
                best = std::min(best, std::hypot(static_cast<float>(dx), static_cast<float>(dy)));
        }
    return best;
}

float clarityAt(const GrayPlane& clarity, float fx, float fy) {
    const int x = std::min(std::max(static_cast<int>(std::lround(fx)), 0), clarity.width - 1);
    const int y = std::min(std::max(static_cast<int>(std::lround(fy)), 0), clarity.height - 1);
    return clarity.at(x, y) / 255.0f;
}

const char* typeName(MinutiaType t) {
    return t == MinutiaType::Bifurcation ? "bifurcation" : "ending";
}

float degrees(float radians) {
    return radians * 180.0f / kPi;
}

// Minutiae of the valley skeleton: the foreground's valleys thinned as the ridges are,
// strongest valley last to go. A ridge ending is where its valley forks round the tip, a
// fork is where the valley between its branches ends, both pointing the same way; so the
// valley skeleton is a second, independent look at each minutia.
std::vector<Minutia> valleyMinutiae(const ExtractStages& stages) {
    const int w = stages.binary.width, h = stages.binary.height;
    Image<std::uint8_t> valleys(w, h, 0);
    PaddedPlane strength(w, h, tuning::kPadMargin);
    for (int y = 1; y < h - 1; ++y)
        for (int x = 1; x < w - 1; ++x) {
            valleys.at(x, y) = stages.mask.at(x, y) != 0 && stages.binary.at(x, y) == 0;
            // The enhanced picture stores 128 + 60 x the response; valleys are its negative.
            strength.row(y)[x] = (128.0f - stages.enhanced.at(x, y)) / 60.0f;
        }
    thinRidges(valleys, strength);
    pruneSpurs(valleys, tuning::kSpurPruneLength);
    // Valley minutiae within a block of the mask's edge are where the valleys meet the
    // background, not minutiae.
    const int bw = blocksFor(w), bh = blocksFor(h);
    Image<std::uint8_t> usable(bw, bh, 0);
    for (int by = 1; by + 1 < bh; ++by)
        for (int bx = 1; bx + 1 < bw; ++bx) {
            bool inside = true;
            for (int dy = -1; dy <= 1 && inside; ++dy)
                for (int dx = -1; dx <= 1 && inside; ++dx) {
                    const int x =
                        std::min(w - 1, (bx + dx) * tuning::kBlockSize + tuning::kBlockSize / 2);
                    const int y =
                        std::min(h - 1, (by + dy) * tuning::kBlockSize + tuning::kBlockSize / 2);
                    inside = stages.mask.at(x, y) != 0;
                }
            usable.at(bx, by) = inside;
        }
    std::vector<Minutia> out =
        asMinutiae(detectMinutiae(valleys, usable, tuning::kDirectionTraceSteps, 40));
    // A valley ending is the dual of a ridge fork, a valley fork of a ridge ending.
    for (Minutia& m : out)
        m.type = m.type == MinutiaType::RidgeEnding ? MinutiaType::Bifurcation
                                                    : MinutiaType::RidgeEnding;
    return out;
}

// Three panels side by side (image, binary, skeleton), each with the references (found:
// green; missed: red) and ours (paired: blue; unpaired: orange).
void savePicture(const char* path, const std::uint8_t* grey, const ExtractStages& stages,
                 const std::vector<Reference>& refs, const std::vector<bool>& refFound,
                 const std::vector<Minutia>& ours, const std::vector<bool>& oursPaired) {
    const int scale = 2, w = stages.binary.width, h = stages.binary.height;
    const std::uint8_t* planes[3] = {grey, stages.binary.pixels.data(),
                                     stages.skeleton.pixels.data()};
    zarn_viewer::RgbPicture all;
    all.width = 3 * w * scale;
    all.height = h * scale;
    all.rgb.assign(static_cast<std::size_t>(all.width) * all.height * 3, 0);
    for (int p = 0; p < 3; ++p) {
        zarn_viewer::RgbPicture panel = zarn_viewer::greyPicture(planes[p], w, h, scale);
        for (std::size_t i = 0; i < refs.size(); ++i) {
            const zarn_viewer::Colour c =
                refFound[i] ? zarn_viewer::Colour{20, 170, 40} : zarn_viewer::Colour{230, 20, 20};
            const Minutia& m = refs[i].minutia;
            zarn_viewer::drawMark(panel, scale, m.x, m.y, m.direction, 5.0, c);
        }
        for (std::size_t i = 0; i < ours.size(); ++i) {
            const zarn_viewer::Colour c =
                oursPaired[i] ? zarn_viewer::Colour{30, 80, 240} : zarn_viewer::Colour{250, 140, 0};
            zarn_viewer::drawMark(panel, scale, ours[i].x, ours[i].y, ours[i].direction, 2.5, c);
        }
        for (int y = 0; y < panel.height; ++y)
            std::copy_n(&panel.rgb[static_cast<std::size_t>(y) * panel.width * 3], panel.width * 3,
                        &all.rgb[(static_cast<std::size_t>(y) * all.width + p * panel.width) * 3]);
    }
    stbi_write_png(path, all.width, all.height, 3, all.rgb.data(), all.width * 3);
}

}  // namespace

int main(int argc, char** argv) {
    if (argc < 3 || argc > 4) {
        std::fputs(kUsage, stderr);
        return 1;
    }
    int width = 0, height = 0, channels = 0;
    std::unique_ptr<std::uint8_t, void (*)(void*)> grey(
        stbi_load(argv[1], &width, &height, &channels, 1), stbi_image_free);
    if (!grey) {
        std::fprintf(stderr, "cannot read image %s\n", argv[1]);
        return 1;
    }
    const std::vector<Reference> refs = readReferences(argv[2]);
    ExtractStages stages;
    const ExtractResult result = extractFingerViewDebug(grey.get(), width, height, &stages);
    if (stages.binary.pixels.empty()) {
        std::printf("failed %s\n", argv[1]);
        return 0;
    }
    const std::vector<Minutia>& ours = result.view.minutiae;

    std::vector<Minutia> refMinutiae;
    for (const Reference& r : refs)
        refMinutiae.push_back(r.minutia);
    const std::vector<bench::Pair> pairs =
        bench::matchMinutiae(refMinutiae, ours, kSameDistance, kSameAngle);
    std::vector<bool> refFound(refs.size(), false), oursPaired(ours.size(), false);
    for (const bench::Pair& p : pairs) {
        refFound[p.truth] = true;
        oursPaired[p.found] = true;
    }

    const StageMinutiae found{asMinutiae(stages.candidates), asMinutiae(stages.unprunedCandidates)};
    const std::vector<Minutia> valley = valleyMinutiae(stages);
    // 1: the dual of the same type is there; 2: only a valley minutia of the other type.
    auto hasDual = [&](const Minutia& m, bool anyType) {
        int best = 0;
        for (const Minutia& v : valley)
            if (distance(m, v) <= kSameDistance &&
                bench::angleDifference(m.direction, v.direction) <= kSameAngle) {
                if (anyType || v.type == m.type)
                    return 1;
                best = 2;
            }
        return best;
    };
    for (std::size_t i = 0; i < refs.size(); ++i) {
        const Minutia& m = refs[i].minutia;
        // A reference whose one of ours went to another reference: we report one minutia
        // where the reference has two.
        std::string fate = "found";
        if (!refFound[i]) {
            const int taken = nearest(m, ours, 0, kSameAngle);
            fate = taken >= 0 ? "merged" : fateOfMissed(refs[i], ours, stages, found);
        }
        std::printf("ref %.1f %.1f %.1f %s %s %.1f %.2f %d\n", m.x, m.y, degrees(m.direction),
                    refs[i].type.c_str(), fate.c_str(), borderDistance(stages.mask, m.x, m.y),
                    clarityAt(stages.clarity, m.x, m.y), hasDual(m, refs[i].type == "other"));
    }
    for (std::size_t i = 0; i < ours.size(); ++i) {
        const Minutia& m = ours[i];
        float nearestOther = 1e9f;
        for (std::size_t j = 0; j < ours.size(); ++j)
            if (j != i)
                nearestOther = std::min(nearestOther, distance(m, ours[j]));
        const char* fate = oursPaired[i]                                       ? "paired"
                           : nearest(m, refMinutiae, kReversedAngle, kPi) >= 0 ? "reversed"
                                                                               : "unpaired";
        std::printf("ours %.1f %.1f %.1f %s %d %s %.1f %d %.1f\n", m.x, m.y, degrees(m.direction),
                    typeName(m.type), m.quality, fate, nearestOther, hasDual(m, false),
                    borderDistance(stages.mask, m.x, m.y));
    }
    // Valley minutiae with nothing of the ridge skeleton's near them (kept, dropped or
    // pruned, either direction): what the valley skeleton alone would add.
    for (const Minutia& v : valley) {
        bool near = false;
        for (const std::vector<Minutia>* list : {&ours, &found.candidates, &found.unpruned})
            for (const Minutia& m : *list)
                near = near || distance(m, v) <= kSameDistance;
        if (near)
            continue;
        const char* fate = nearest(v, refMinutiae, 0, kSameAngle) >= 0 ? "paired" : "unpaired";
        std::printf("valley %.1f %.1f %.1f %s %s\n", v.x, v.y, degrees(v.direction),
                    typeName(v.type), fate);
    }
    if (argc == 4)
        savePicture(argv[3], grey.get(), stages, refs, refFound, ours, oursPaired);
    return 0;
}
