// accuracy_bench: runs the extractor on generated impressions and scores its minutiae
// against the generator's ground truth, split by difficulty.
#include <stb_image_write.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

#include "extract.h"
#include "fingergen/fields.h"
#include "fingergen/impression.h"
#include "fingergen/master.h"
#include "fingergen/overlay.h"
#include "minutia_pairing.h"

using namespace zarn;
using namespace zarn::gen;

namespace {

constexpr float kMatchDistance = 12.0f;
constexpr float kMatchAngle = 22.5f * 3.14159265f / 180.0f;
constexpr float kFlipAngle = 157.5f * 3.14159265f / 180.0f;
constexpr float kBorderBand = 10.0f;
constexpr float kCrowded = 15.0f;

struct Options {
    int fingers = 10;
    int perLevel = 3;
    int size = 400;
    std::uint64_t seed = 2024;
    std::string dump;
};

struct Tally {
    int impressions = 0;
    int failures = 0;  // extractor returned no view
    int truth = 0;
    int fragile = 0;  // truth that skin condition may hide or create: not scored
    int unclear = 0;  // truth this impression shows too faintly to mark: not scored
    int found = 0;
    int truthMatched = 0;
    // Recall by crowding: truth whose nearest other truth minutia is closer than kCrowded.
    int crowded = 0;
    int crowdedMatched = 0;
    int foundMatched = 0;
    int pairs = 0;
    int typeAgree = 0;
    int positionPairs = 0;
    int flipped = 0;
    double distanceSum = 0;
    double angleSum = 0;
    double seconds = 0;
};

// Where scoring is fair: inside the contact area or outside it, but not within the band along
// its border (where neither the truth nor the extractor can be sure), nor near the frame, nor
// near the master's outline (where the generator drops its own truth).
GrayPlane scoringZone(const Master& master, const ImpressionParams& params, const Impression& imp) {
    const int w = imp.contact.width;
    const int h = imp.contact.height;
    GrayPlane outside(w, h);
    for (std::size_t i = 0; i < outside.pixels.size(); ++i) {
        outside.pixels[i] = imp.contact.pixels[i] ? 0 : 255;
    }
    const FloatPlane distIn = distanceToOutside(imp.contact);
    const FloatPlane distOut = distanceToOutside(outside);
    GrayPlane zone(w, h);
    for (int y = 0; y < h; ++y) {
        for (int x = 0; x < w; ++x) {
            const bool in = imp.contact.at(x, y) != 0;
            const float edge = in ? distIn.at(x, y) : distOut.at(x, y);
            const float frame =
                static_cast<float>(std::min(std::min(x, y), std::min(w - 1 - x, h - 1 - y)));
            bool ok = edge >= kBorderBand && frame >= kBorderBand;
            if (ok && in) {
                const Point m = impressionToMaster(master, params,
                                                   {static_cast<float>(x), static_cast<float>(y)});
                ok = sampleBilinear(master.inside, m.x, m.y, 0.0f) >= kSilhouetteMargin;
            }
            zone.at(x, y) = ok ? 1 : 0;
        }
    }
    return zone;
}

bool inZone(const GrayPlane& zone, const Minutia& m) {
    const int x = static_cast<int>(std::lround(m.x));
    const int y = static_cast<int>(std::lround(m.y));
    return zone.contains(x, y) && zone.at(x, y) != 0;
}

// Fragile truth (skin condition may hide it) and unclear truth (too faint in this image to
// mark) are left out, and so is anything found next to them.
bool unsure(const Minutia& m) {
    return m.quality < kSolidQuality;
}

bool scoredTruth(const GrayPlane& zone, const Minutia& m) {
    return inZone(zone, m) && !unsure(m);
}

bool scoredFound(const GrayPlane& zone, const std::vector<Minutia>& truth, const Minutia& m) {
    if (!inZone(zone, m)) {
        return false;
    }
    for (const Minutia& t : truth) {
        if (unsure(t) && std::hypot(t.x - m.x, t.y - m.y) <= kMatchDistance) {
            return false;
        }
    }
    return true;
}

void dumpImpression(const std::string& dir, const std::string& name, const Impression& imp,
                    const std::vector<Minutia>& found) {
    std::vector<std::uint8_t> rgb = drawTruthOverlay(imp.image, imp.minutiae);
    // Extracted minutiae as green crosses with a short tail, over the truth squares.
    for (const Minutia& m : found) {
        for (int s = -3; s <= 10; ++s) {
            const bool tail = s > 3;
            const int x = static_cast<int>(
                std::lround(tail ? m.x + s * std::cos(m.direction) : m.x + (s <= 3 ? s : 0)));
            const int y =
                static_cast<int>(std::lround(tail ? m.y - s * std::sin(m.direction) : m.y));
            for (int k = 0; k < 2; ++k) {
                const int px = k == 0 ? x : static_cast<int>(std::lround(m.x));
                const int py = k == 0 ? y : static_cast<int>(std::lround(m.y)) + (tail ? 0 : s);
                if (imp.image.contains(px, py)) {
                    const std::size_t i = 3 * (static_cast<std::size_t>(py) * imp.image.width + px);
                    rgb[i] = 0;
                    rgb[i + 1] = 170;
                    rgb[i + 2] = 0;
                }
            }
        }
    }
    const std::string path = dir + "/" + name + ".png";
    stbi_write_png(path.c_str(), imp.image.width, imp.image.height, 3, rgb.data(),
                   imp.image.width * 3);
}

bool parse(int argc, char** argv, Options& o) {
    for (int i = 1; i < argc; ++i) {
        const std::string a = argv[i];
        const bool hasValue = i + 1 < argc;
        if (a == "--fingers" && hasValue) {
            o.fingers = std::atoi(argv[++i]);
        } else if (a == "--per-level" && hasValue) {
            o.perLevel = std::atoi(argv[++i]);
        } else if (a == "--size" && hasValue) {
            o.size = std::atoi(argv[++i]);
        } else if (a == "--seed" && hasValue) {
            o.seed = std::strtoull(argv[++i], nullptr, 10);
        } else if (a == "--dump" && hasValue) {
            o.dump = argv[++i];
        } else {
            return false;
        }
    }
    return o.fingers > 0 && o.fingers <= 1000 && o.perLevel > 0 && o.perLevel <= 100 &&
           o.size >= 128 && o.size <= 2000;
}

float nearestOther(const std::vector<Minutia>& all, std::size_t i) {
    float best = 1e9f;
    for (std::size_t j = 0; j < all.size(); ++j) {
        if (j != i) {
            best = std::min(best, std::hypot(all[j].x - all[i].x, all[j].y - all[i].y));
        }
    }
    return best;
}

double ratio(int a, int b) {
    return b > 0 ? static_cast<double>(a) / b : 0.0;
}

}  // namespace

int main(int argc, char** argv) {
    Options opt;
    if (!parse(argc, argv, opt)) {
        std::fprintf(stderr,
                     "usage: accuracy_bench [--fingers N] [--per-level K] [--size PX] [--seed S] "
                     "[--dump DIR]\n");
        return 2;
    }
    if (!opt.dump.empty()) {
        std::error_code ec;
        std::filesystem::create_directories(opt.dump, ec);
        if (ec) {
            std::fprintf(stderr, "accuracy_bench: cannot create %s: %s\n", opt.dump.c_str(),
                         ec.message().c_str());
            return 1;
        }
    }
    Tally tally[3];
    for (int f = 1; f <= opt.fingers; ++f) {
        Rng classRng = deriveRng(opt.seed, static_cast<std::uint64_t>(f), 0xc1a55ULL);
        MasterOptions mo;
        mo.width = opt.size;
        mo.height = opt.size;
        mo.cls = drawClass(classRng);
        const Master master = makeMaster(mo, nextU64(classRng));
        for (int level = 0; level < 3; ++level) {
            for (int k = 0; k < opt.perLevel; ++k) {
                Rng rng = deriveRng(opt.seed, static_cast<std::uint64_t>(f),
                                    static_cast<std::uint64_t>(1000 * (level + 1) + k));
                const ImpressionParams params =
                    drawImpressionParams(static_cast<Difficulty>(level), rng);
                const Impression imp = makeImpression(master, params, nextU64(rng));
                const GrayPlane zone = scoringZone(master, params, imp);

                const auto t0 = std::chrono::steady_clock::now();
                const ExtractResult result =
                    extractFingerView(imp.image.pixels.data(), imp.image.width, imp.image.height);
                const auto t1 = std::chrono::steady_clock::now();
                Tally& t = tally[level];
                t.seconds += std::chrono::duration<double>(t1 - t0).count();
                ++t.impressions;
                std::vector<Minutia> found;
                if (result.status == ExtractStatus::Ok) {
                    found = result.view.minutiae;
                } else {
                    ++t.failures;
                }
                const std::vector<bench::Pair> pairs =
                    bench::matchMinutiae(imp.minutiae, found, kMatchDistance, kMatchAngle);
                std::vector<bool> truthHit(imp.minutiae.size(), false);
                std::vector<bool> foundHit(found.size(), false);
                for (const bench::Pair& p : pairs) {
                    truthHit[p.truth] = true;
                    foundHit[p.found] = true;
                    if (!scoredTruth(zone, imp.minutiae[p.truth])) {
                        continue;
                    }
                    ++t.pairs;
                    t.distanceSum += p.distance;
                    t.angleSum += p.angleError;
                    t.typeAgree += imp.minutiae[p.truth].type == found[p.found].type ? 1 : 0;
                }
                for (std::size_t i = 0; i < imp.minutiae.size(); ++i) {
                    if (inZone(zone, imp.minutiae[i])) {
                        t.fragile += imp.minutiae[i].quality == kFragileQuality ? 1 : 0;
                        t.unclear += imp.minutiae[i].quality == kUnclearQuality ? 1 : 0;
                    }
                    if (scoredTruth(zone, imp.minutiae[i])) {
                        ++t.truth;
                        t.truthMatched += truthHit[i] ? 1 : 0;
                        if (nearestOther(imp.minutiae, i) < kCrowded) {
                            ++t.crowded;
                            t.crowdedMatched += truthHit[i] ? 1 : 0;
                        }
                    }
                }
                for (std::size_t i = 0; i < found.size(); ++i) {
                    if (scoredFound(zone, imp.minutiae, found[i])) {
                        ++t.found;
                        t.foundMatched += foundHit[i] ? 1 : 0;
                    }
                }
                // Position-only pairing: a share of pairs pointing the opposite way flags a
                // direction convention fault rather than poor extraction.
                for (const bench::Pair& p :
                     bench::matchMinutiae(imp.minutiae, found, kMatchDistance, 10.0f)) {
                    if (scoredTruth(zone, imp.minutiae[p.truth])) {
                        ++t.positionPairs;
                        t.flipped += p.angleError >= kFlipAngle ? 1 : 0;
                    }
                }
                if (!opt.dump.empty()) {
                    dumpImpression(opt.dump,
                                   "finger" + std::to_string(f) + "_" +
                                       difficultyName(static_cast<Difficulty>(level)) +
                                       std::to_string(k + 1),
                                   imp, found);
                }
            }
        }
    }

    std::printf(
        "Minutia accuracy on generated impressions: %d fingers x %d impressions per level, %dx%d "
        "px, seed %llu\n",
        opt.fingers, opt.perLevel, opt.size, opt.size, static_cast<unsigned long long>(opt.seed));
    std::printf(
        "A match is within %.0f px and %.1f degrees, one-to-one, nearest first. Not scored on\n"
        "either side: minutiae within %.0f px of the contact-area border (inside or outside) or\n"
        "of the frame; fragile truth (it vanishes when ridges get thinner or thicker); unclear\n"
        "truth (too little ridge contrast in that image to mark it: smudges, dry spots); and\n"
        "whatever is found within %.0f px of fragile or unclear truth.\n\n",
        kMatchDistance, 22.5, kBorderBand, kMatchDistance);
    std::printf("%-7s %5s %5s %6s %8s %8s %6s %7s %9s %10s %8s %7s %8s %7s\n", "level", "imgs",
                "fail", "truth", "fragile", "unclear", "found", "recall", "precision", "type-agree",
                "flipped", "pos-px", "angle-deg", "ms/img");
    bool hardMet = false;
    for (int level = 0; level < 3; ++level) {
        const Tally& t = tally[level];
        const double recall = ratio(t.truthMatched, t.truth);
        const double precision = ratio(t.foundMatched, t.found);
        std::printf("%-7s %5d %5d %6d %8d %8d %6d %7.3f %9.3f %10.3f %8.3f %7.2f %8.2f %7.1f\n",
                    difficultyName(static_cast<Difficulty>(level)), t.impressions, t.failures,
                    t.truth, t.fragile, t.unclear, t.found, recall, precision,
                    ratio(t.typeAgree, t.pairs), ratio(t.flipped, t.positionPairs),
                    t.pairs ? t.distanceSum / t.pairs : 0.0,
                    t.pairs ? t.angleSum / t.pairs * 180.0 / 3.14159265 : 0.0,
                    t.impressions ? 1000.0 * t.seconds / t.impressions : 0.0);
        if (level == 2) {
            hardMet = recall >= 0.85 && precision >= 0.85;
        }
    }
    std::printf("\nRecall by crowding (nearest other truth minutia closer than %.0f px, or not):\n",
                kCrowded);
    for (int level = 0; level < 3; ++level) {
        const Tally& t = tally[level];
        std::printf("%-7s crowded %4d recall %.3f   apart %4d recall %.3f\n",
                    difficultyName(static_cast<Difficulty>(level)), t.crowded,
                    ratio(t.crowdedMatched, t.crowded), t.truth - t.crowded,
                    ratio(t.truthMatched - t.crowdedMatched, t.truth - t.crowded));
    }
    std::printf(
        "\ntruth/found: scored minutiae; type-agree, pos-px and angle-deg: over matched pairs;\n"
        "flipped: share of position-only pairs (<= %.0f px) whose directions differ by more than\n"
        "157.5 degrees (a high value means a direction convention fault, not poor extraction).\n"
        "Target: recall and precision >= 0.85 on hard impressions: %s\n",
        kMatchDistance, hardMet ? "met" : "NOT met");
    return 0;
}
