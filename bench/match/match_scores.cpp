// match_scores: the matcher's raw similarity (0-1) for every ordered pair of
// the templates named, one line each: "probe gallery similarity". The input of
// the calibration and the accuracy scripts beside it; also prints the time per
// comparison and to prepare a template on standard error. With --exact first, the similarity is
// printed in hexadecimal (%a), so two builds can be checked for the same bits.
#include <chrono>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "search.h"
#include "template_file.h"

int main(int argc, char** argv) {
    using namespace zarn::match;
    const bool exact = argc > 1 && std::strcmp(argv[1], "--exact") == 0;
    std::vector<std::string> paths(argv + 1 + (exact ? 1 : 0), argv + argc);
    std::vector<PreparedTemplate> templates;
    std::vector<std::string> names;
    double preparing = 0;
    for (const std::string& path : paths) {
        try {
            const std::vector<zarn::FingerView> views = readTemplateFile(path);
            const auto begin = std::chrono::steady_clock::now();
            templates.push_back(prepareTemplate(views, TemplateRole::Probe));
            preparing +=
                std::chrono::duration<double>(std::chrono::steady_clock::now() - begin).count();
            names.push_back(path);
        } catch (const std::exception& error) {
            std::fprintf(stderr, "skipped %s\n", error.what());
        }
    }
    std::fprintf(stderr, "%zu templates prepared, %.1f us each\n", templates.size(),
                 templates.empty() ? 0.0 : 1e6 * preparing / static_cast<double>(templates.size()));
    const auto start = std::chrono::steady_clock::now();
    std::size_t comparisons = 0;
    for (std::size_t i = 0; i < templates.size(); ++i) {
        for (std::size_t j = 0; j < templates.size(); ++j) {
            if (i != j) {
                const float s = compareTemplates(templates[i], templates[j]);
                std::printf(exact ? "%s %s %a\n" : "%s %s %.6f\n", names[i].c_str(),
                            names[j].c_str(), static_cast<double>(s));
                ++comparisons;
            }
        }
    }
    const double seconds =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    std::fprintf(stderr, "%zu comparisons, %.1f us each\n", comparisons,
                 comparisons ? 1e6 * seconds / static_cast<double>(comparisons) : 0.0);
}
