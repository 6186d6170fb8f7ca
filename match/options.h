// zarn-match's command line: the probe, the gallery (named on the command line
// or listed in a file), the decision rate and the search depth.
#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <vector>

namespace zarn::match {

struct MatchOptions {
    bool help = false;
    bool version = false;
    std::string probe;
    std::vector<std::string> gallery;
    std::optional<double> fmr;
    std::optional<std::size_t> top;
};

// Throws std::runtime_error (or the option library's own errors) with the
// message to show for a command line that asks for nothing runnable.
MatchOptions parseMatchOptions(int argc, char* argv[]);

// The gallery paths listed in a file, one per line; blank lines are skipped
// and a line's CR LF ending is taken as a line break.
std::vector<std::string> readGalleryList(const std::string& listPath);

void printMatchUsage(const char* programPath);

}  // namespace zarn::match
