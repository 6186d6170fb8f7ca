// merge_accuracy: do templates merged from three impressions verify better than templates of
// one impression? For every finger, (a) impression 1 alone and (b) impressions 1-3 merged are
// each scored against impressions 4-8 of every finger; genuine and impostor scores give the
// EER and the FNMR at FMR 1%. Runs on generated fingers, and on the real sets in
// ../shared/data beside the project (or the folder given) when they exist.
#include <stb_image.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "error_rates.h"
#include "extract.h"
#include "generated_fingers.h"
#include "matcher.h"
#include "merge.h"
#include "real_sets.h"

using namespace zarn;

namespace {

constexpr int kEnrolled = 3;  // impressions 1-3 build the merged template
constexpr int kProbes = 5;    // impressions 4-8 are scored against it

struct Protocol {
    std::vector<float> genuine[2], impostor[2];
    int mergeFailures = 0;  // fewer than two of impressions 1-3 aligned: (b) falls back to (a)
    int mergedMembers = 0;
    int merges = 0;
    double mergeSeconds = 0;
};

// With `rotations` above 1 the protocol is repeated with the impressions taken in turn: in
// rotation r impression r+1 is the single template, r+1..r+3 are merged and the next five are
// the probes (counting round the eight), for more scores from the same prints.
Protocol run(const std::vector<std::vector<FingerView>>& fingers, int rotations) {
    constexpr int kImpressions = kEnrolled + kProbes;
    Protocol p;
    for (int r = 0; r < rotations; ++r) {
        const auto at = [&](const std::vector<FingerView>& views, int k) -> const FingerView& {
            return views[static_cast<std::size_t>((r + k) % kImpressions)];
        };
        for (std::size_t f = 0; f < fingers.size(); ++f) {
            const FingerView& single = at(fingers[f], 0);
            std::vector<FingerView> enrolled;
            for (int k = 0; k < kEnrolled; ++k) {
                enrolled.push_back(at(fingers[f], k));
            }
            const auto t0 = std::chrono::steady_clock::now();
            const MergedViews merged = mergeViews(enrolled);
            p.mergeSeconds +=
                std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
            const bool ok = merged.members.size() >= 2;
            p.mergeFailures += ok ? 0 : 1;
            p.mergedMembers += static_cast<int>(merged.members.size());
            ++p.merges;
            const FingerView* templates[2] = {&single, ok ? &merged.view : &single};
            for (std::size_t g = 0; g < fingers.size(); ++g) {
                for (int k = kEnrolled; k < kImpressions; ++k) {
                    const FingerView& probe = at(fingers[g], k);
                    for (int t = 0; t < 2; ++t) {
                        const float s = matchScore(*templates[t], probe);
                        (f == g ? p.genuine[t] : p.impostor[t]).push_back(s);
                    }
                }
            }
        }
    }
    return p;
}

void report(const std::string& name, const Protocol& p) {
    const bench::ErrorRates a = bench::errorRates(p.genuine[0], p.impostor[0]);
    const bench::ErrorRates b = bench::errorRates(p.genuine[1], p.impostor[1]);
    std::printf("%s: %d enrollments, %zu genuine and %zu impostor scores per template kind\n",
                name.c_str(), p.merges, p.genuine[0].size(), p.impostor[0].size());
    std::printf("  (a) impression 1 alone      EER %5.1f%%  FNMR@FMR1%% %5.1f%%\n", 100 * a.eer,
                100 * a.fnmrAtFmr1);
    std::printf("  (b) impressions 1-3 merged  EER %5.1f%%  FNMR@FMR1%% %5.1f%%\n", 100 * b.eer,
                100 * b.fnmrAtFmr1);
    std::printf(
        "  FNMR@FMR1%% lower by %.1f points; merges with <2 aligned: %d; mean members "
        "%.2f; mean merge %.2f ms\n",
        100 * (a.fnmrAtFmr1 - b.fnmrAtFmr1), p.mergeFailures,
        static_cast<double>(p.mergedMembers) / static_cast<double>(p.merges),
        1000 * p.mergeSeconds / static_cast<double>(p.merges));
}

// How often an impression of another finger gets into a merge: two impressions of each finger
// with, in turn, each of the first three impressions of every other finger.
void reportStrangers(const std::string& name, const std::vector<std::vector<FingerView>>& fingers) {
    int trials = 0, admitted = 0, ownKept = 0;
    for (std::size_t f = 0; f < fingers.size(); ++f) {
        for (std::size_t g = 0; g < fingers.size(); ++g) {
            for (std::size_t k = 0; g != f && k < static_cast<std::size_t>(kEnrolled); ++k) {
                const MergedViews merged =
                    mergeViews({fingers[f][0], fingers[f][1], fingers[g][k]});
                const bool stranger =
                    std::count(merged.members.begin(), merged.members.end(), 2u) > 0;
                ++trials;
                admitted += merged.members.size() >= 2 && stranger;
                ownKept += merged.members.size() >= 2 && !stranger;
            }
        }
    }
    std::printf(
        "%s: another finger's impression merged in %d of %d trials (%.2f%%); the two own "
        "impressions alone merged in %d\n",
        name.c_str(), admitted, trials, 100.0 * admitted / trials, ownKept);
}

// Fingers 101-110 with impressions _1.._8 as PNG; empty when the folder is missing.
std::vector<std::vector<FingerView>> realFingerViews(const std::string& dir) {
    std::vector<std::vector<FingerView>> fingers;
    if (!std::filesystem::exists(dir)) {
        return fingers;
    }
    for (int f = 101; f <= 110; ++f) {
        std::vector<FingerView> views;
        for (int k = 1; k <= kEnrolled + kProbes; ++k) {
            const std::string path =
                dir + "/" + std::to_string(f) + "_" + std::to_string(k) + ".png";
            int w = 0, h = 0, channels = 0;
            unsigned char* data = stbi_load(path.c_str(), &w, &h, &channels, 1);
            if (data == nullptr) {
                return {};
            }
            ExtractResult r = extractFingerView(data, w, h);
            stbi_image_free(data);
            r.view.imageWidth = w;
            r.view.imageHeight = h;
            views.push_back(r.status == ExtractStatus::Ok ? std::move(r.view) : FingerView{});
        }
        fingers.push_back(std::move(views));
    }
    return fingers;
}

}  // namespace

int main(int argc, char** argv) {
    int fingers = 20;
    int side = 400;
    bool mixed = false;
    std::uint64_t seed = 7;
    std::vector<std::string> realSets = bench::visibleSets();
    for (int i = 1; i < argc; ++i) {
        const std::string a = argv[i];
        if (a == "--fingers" && i + 1 < argc) {
            fingers = std::atoi(argv[++i]);
        } else if (a == "--size" && i + 1 < argc) {
            side = std::atoi(argv[++i]);
        } else if (a == "--seed" && i + 1 < argc) {
            seed = std::strtoull(argv[++i], nullptr, 10);
        } else if (a == "--mixed") {
            mixed = true;
        } else if (a == "--real" && i + 1 < argc) {
            realSets = {argv[++i]};
        } else {
            std::fprintf(stderr,
                         "usage: merge_accuracy [--fingers N] [--size PX] [--seed S] [--mixed] "
                         "[--real DIR]\n");
            return 2;
        }
    }
    const auto generated =
        bench::generatedFingerViews(fingers, kEnrolled + kProbes, side, seed, mixed);
    const std::string name = "generated " + std::to_string(side) + "x" + std::to_string(side) +
                             (mixed ? ", mixed difficulty" : ", hard");
    report(name, run(generated, 1));
    report(name + ", all 8 rotations", run(generated, 8));
    reportStrangers(name, generated);
    for (const std::string& dir : realSets) {
        const auto real = realFingerViews(dir);
        if (!real.empty()) {
            report(dir, run(real, 1));
            report(dir + ", all 8 rotations", run(real, 8));
            reportStrangers(dir, real);
        }
    }
    return 0;
}
