// match_scores: the matcher's raw similarity (0-1) for every ordered pair of
// the templates named, one line each: "probe gallery similarity". The input of
// the calibration and the accuracy scripts beside it; also prints the time per
// comparison on standard error.
#include <chrono>
#include <cstdio>
#include <string>
#include <vector>

#include "search.h"
#include "template_file.h"

int main(int argc, char** argv) {
    using namespace zarn::match;
    std::vector<std::string> paths(argv + 1, argv + argc);
    std::vector<PreparedTemplate> templates;
    std::vector<std::string> names;
    for (const std::string& path : paths) {
        try {
            templates.push_back(prepareTemplate(readTemplateFile(path), TemplateRole::Probe));
            names.push_back(path);
        } catch (const std::exception& error) {
            std::fprintf(stderr, "skipped %s\n", error.what());
        }
    }
    const auto start = std::chrono::steady_clock::now();
    std::size_t comparisons = 0;
    for (std::size_t i = 0; i < templates.size(); ++i) {
        for (std::size_t j = 0; j < templates.size(); ++j) {
            if (i != j) {
                const float s = compareTemplates(templates[i], templates[j]);
                std::printf("%s %s %.6f\n", names[i].c_str(), names[j].c_str(), s);
                ++comparisons;
            }
        }
    }
    const double seconds =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    std::fprintf(stderr, "%zu comparisons, %.1f us each\n", comparisons,
                 comparisons ? 1e6 * seconds / static_cast<double>(comparisons) : 0.0);
}
