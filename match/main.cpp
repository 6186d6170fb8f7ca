// Process entry of zarn-match: read and prepare every template once, compare
// each probe with each gallery template, print the scores, and report every
// failure in one place.
#include <algorithm>
#include <cstdio>
#include <iostream>
#include <optional>
#include <stdexcept>
#include <string>
#include <vector>

#include "calibration.h"
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
                     const std::optional<double>& threshold) {
    if (c.score) {
        char score[16];
        std::snprintf(score, sizeof score, "%.1f", *c.score);
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
    // Without a first look each template is compared as it comes, so the
    // lines of every score come template by template.
    const std::size_t batchSize = firstLook ? kSearchBatch : 1;
    for (std::size_t from = 0; from < options.gallery.size(); from += batchSize) {
        const std::size_t to = std::min(options.gallery.size(), from + batchSize);
        // Every template is read, so each unusable one is still reported; it
        // is prepared only while some probe's K best can still change.
        const bool open =
            !options.top || std::any_of(best.begin(), best.end(),
                                        [](const BestComparisons& b) { return !b.settled; });
        std::vector<std::optional<PreparedTemplate>> batch(to - from);
        for (std::size_t t = from; t < to; ++t) {
            try {
                const std::vector<zarn::FingerView> views = readTemplateFile(options.gallery[t]);
                if (open) {
                    batch[t - from] = prepareTemplate(
                        views, firstLook ? TemplateRole::Candidate : TemplateRole::Gallery);
                }
            } catch (const std::exception& error) {
                std::cerr << "zarn-match: gallery " << error.what() << std::endl;
                status = kExitBadTemplate;
            }
        }
        for (std::size_t p = 0; p < probes.size(); ++p) {
            if (options.top && best[p].settled) {
                continue;
            }
            std::vector<bool> admitted(batch.size(), true);
            if (firstLook) {
                std::vector<std::optional<float>> quick(batch.size());
                for (std::size_t t = 0; t < batch.size(); ++t) {
                    if (batch[t]) {
                        quick[t] = quickCompare(probes[p], *batch[t]);
                    }
                }
                // The others are not among the probe's K best by the first look.
                admitted = shortlisted(shortlists[p], quick);
            }
            for (std::size_t t = 0; t < batch.size(); ++t) {
                if (!admitted[t] || (options.top && best[p].settled)) {
                    continue;
                }
                Comparison c{options.gallery[from + t], std::nullopt};
                if (batch[t]) {
                    if (firstLook) {
                        completeTemplate(*batch[t]);
                    }
                    // Only the K best of a probe are reported: a template that
                    // cannot reach them needs no exact score.
                    c.similarity =
                        compareTemplates(probes[p], *batch[t], options.top ? best[p].floor : 0);
                    c.score = zarn::calibratedScore(c.similarity);
                }
                if (options.top) {
                    keepBest(best[p], std::move(c), *options.top);
                } else {
                    printComparison(c, options.probeList ? &options.probes[p] : nullptr, threshold);
                }
            }
        }
    }
    if (options.top) {
        for (std::size_t p = 0; p < probes.size(); ++p) {
            for (const Comparison& c : topComparisons(std::move(best[p].kept), *options.top)) {
                printComparison(c, options.probeList ? &options.probes[p] : nullptr, threshold);
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
