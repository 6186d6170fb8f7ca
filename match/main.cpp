// Process entry of zarn-match: read and prepare every template once, compare
// each probe with each gallery template on every thread asked for, print the
// scores, and report every failure in one place.
#include <algorithm>
#include <cstdio>
#include <iostream>
#include <optional>
#include <stdexcept>
#include <string>
#include <vector>

#include "batch_comparisons.h"
#include "calibration.h"
#include "gallery_batch.h"
#include "options.h"
#include "search.h"
#include "template_file.h"

namespace {

constexpr int kExitOk = 0;
constexpr int kExitUsage = 1;
constexpr int kExitBadTemplate = 2;

// One line: the score (or - for an unusable gallery template), the probe's
// path when there are many probes, the gallery template's path, and the
// decision when a rate was asked for.
void printComparison(const zarn::match::Comparison& c, const std::string* probe,
                     const std::optional<double>& threshold, int decimals) {
    if (c.score) {
        char score[32];
        std::snprintf(score, sizeof score, "%.*f", decimals, *c.score);
        std::cout << score;
    } else {
        std::cout << '-';
    }
    if (probe != nullptr) {
        std::cout << ' ' << *probe;
    }
    std::cout << ' ' << c.path;
    if (c.score && threshold) {
        std::cout << (*c.score >= *threshold ? " match" : " no-match");
    }
    std::cout << '\n';
}

int run(int argc, char* argv[]) {
    using namespace zarn::match;
    MatchOptions options;
    try {
        options = parseMatchOptions(argc, argv);
    } catch (const std::exception& error) {
        std::cerr << "zarn-match: " << error.what() << "\n"
                  << "Try " << argv[0] << " --help" << std::endl;
        return kExitUsage;
    }
    if (options.help) {
        printMatchUsage(argv[0]);
        return argc == 2 ? kExitOk : kExitUsage;
    }
    if (options.version) {
        std::cout << "1.0.0" << std::endl;
        return argc == 2 ? kExitOk : kExitUsage;
    }

    // Every probe is read and prepared before any comparison; the gallery
    // streams past them, each template read and prepared once.
    std::vector<PreparedTemplate> probes;
    probes.reserve(options.probes.size());
    for (const std::string& path : options.probes) {
        try {
            probes.push_back(prepareTemplate(readTemplateFile(path), TemplateRole::Probe));
        } catch (const std::exception& error) {
            std::cerr << "zarn-match: probe " << error.what() << std::endl;
            return kExitBadTemplate;
        }
    }
    std::optional<double> threshold;
    if (options.fmr) {
        threshold = zarn::scoreThreshold(*options.fmr);
    }

    int status = kExitOk;
    std::vector<BestComparisons> best(probes.size());
    std::vector<Shortlist> shortlists(probes.size());
    const bool firstLook = options.top && options.shortlist > 0;
    for (Shortlist& shortlist : shortlists) {
        shortlist.size = options.shortlist;
    }
    // The gallery comes in batches, each read and compared on every thread;
    // the lines come out in the order one thread would give them. Without a
    // first look the batches are smaller, so a probe whose K best are settled
    // early stops early, and its floor rises soon.
    const std::size_t batchSize = firstLook ? kSearchBatch : kExactBatch;
    for (std::size_t from = 0; from < options.gallery.size(); from += batchSize) {
        const std::size_t to = std::min(options.gallery.size(), from + batchSize);
        // The probes whose K best can still change; every template is read,
        // so each unusable one is still reported, but prepared only for them.
        std::vector<std::size_t> active;
        std::vector<float> floors;
        for (std::size_t p = 0; p < probes.size(); ++p) {
            if (!options.top || !best[p].settled) {
                active.push_back(p);
                // A template that cannot reach a probe's K best needs no
                // exact score; the floor as the batch starts is low enough.
                floors.push_back(options.top ? best[p].floor : 0);
            }
        }
        GalleryBatch batch = loadGalleryBatch(
            options.gallery, from, to, !active.empty(),
            firstLook ? TemplateRole::Candidate : TemplateRole::Gallery, options.threads);
        for (const std::string& error : batch.errors) {
            std::cerr << "zarn-match: gallery " << error << std::endl;
            status = kExitBadTemplate;
        }
        const BatchComparisons compared =
            compareBatch(probes, active, floors, batch.templates, firstLook ? &shortlists : nullptr,
                         options.threads);
        const auto comparison = [&](std::size_t a, std::size_t t) {
            Comparison c{options.gallery[from + t], std::nullopt};
            if (batch.templates[t]) {
                c.similarity = compared.similarity[a][t];
                c.score = zarn::calibratedScore(c.similarity);
            }
            return c;
        };
        if (options.top) {
            for (std::size_t a = 0; a < active.size(); ++a) {
                BestComparisons& kept = best[active[a]];
                for (std::size_t t = 0; t < to - from && !kept.settled; ++t) {
                    if (compared.admitted[a][t]) {
                        keepBest(kept, comparison(a, t), *options.top);
                    }
                }
            }
        } else {
            for (std::size_t t = 0; t < to - from; ++t) {
                for (std::size_t p = 0; p < probes.size(); ++p) {
                    printComparison(comparison(p, t),
                                    options.probeList ? &options.probes[p] : nullptr, threshold,
                                    options.decimals);
                }
            }
        }
    }
    if (options.top) {
        for (std::size_t p = 0; p < probes.size(); ++p) {
            for (const Comparison& c : topComparisons(std::move(best[p].kept), *options.top)) {
                printComparison(c, options.probeList ? &options.probes[p] : nullptr, threshold,
                                options.decimals);
            }
        }
    }
    std::cout.flush();
    if (!std::cout) {
        std::cerr << "zarn-match: failed to write the scores to standard output" << std::endl;
        return kExitBadTemplate;
    }
    return status;
}

}  // namespace

int main(int argc, char* argv[]) {
    try {
        return run(argc, argv);
    } catch (const std::exception& error) {
        std::cerr << "zarn-match: " << error.what() << std::endl;
        return kExitBadTemplate;
    }
}
