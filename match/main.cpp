// Process entry of zarn-match: read and prepare every template once, compare
// the probe with each gallery template, print the scores, and report every
// failure in one place.
#include <cstdio>
#include <iostream>
#include <stdexcept>

#include "calibration.h"
#include "options.h"
#include "search.h"
#include "template_file.h"

namespace {

constexpr int kExitOk = 0;
constexpr int kExitUsage = 1;
constexpr int kExitBadTemplate = 2;

void printComparison(const zarn::match::Comparison& c, const std::optional<double>& threshold) {
    if (c.score) {
        char score[16];
        std::snprintf(score, sizeof score, "%.1f", *c.score);
        std::cout << score << ' ' << c.path;
        if (threshold) {
            std::cout << (*c.score >= *threshold ? " match" : " no-match");
        }
    } else {
        std::cout << "- " << c.path;
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

    PreparedTemplate probe;
    try {
        probe = prepareTemplate(readTemplateFile(options.probe), TemplateRole::Probe);
    } catch (const std::exception& error) {
        std::cerr << "zarn-match: probe " << error.what() << std::endl;
        return kExitBadTemplate;
    }
    std::optional<double> threshold;
    if (options.fmr) {
        threshold = zarn::scoreThreshold(*options.fmr);
    }

    int status = kExitOk;
    std::vector<Comparison> comparisons;
    comparisons.reserve(options.gallery.size());
    for (const std::string& path : options.gallery) {
        Comparison c{path, std::nullopt};
        try {
            const PreparedTemplate gallery =
                prepareTemplate(readTemplateFile(path), TemplateRole::Gallery);
            c.score = zarn::calibratedScore(compareTemplates(probe, gallery));
        } catch (const std::exception& error) {
            std::cerr << "zarn-match: gallery " << error.what() << std::endl;
            status = kExitBadTemplate;
        }
        if (options.top) {
            comparisons.push_back(std::move(c));
        } else {
            printComparison(c, threshold);
        }
    }
    if (options.top) {
        for (const Comparison& c : topComparisons(std::move(comparisons), *options.top)) {
            printComparison(c, threshold);
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
