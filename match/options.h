// zarn-match's command line: the probe or probes (named on the command line or
// listed in a file), the gallery (likewise), the decision rate and the search
// depth.
#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <vector>

namespace zarn::match {

// A score below 100 with 15 decimals has all 17 significant digits a double
// needs to read back the same.
constexpr int kMaxDecimals = 15;

// A search compares every template fully unless asked for a first look: on
// galleries of 10,000 holding each probe's other impressions among other
// fingers, a shortlist of 75 passed over 6% of those impressions, and even
// 600 passed over some (bench/match/first_look.py).
constexpr std::size_t kDefaultShortlist = 0;

struct MatchOptions {
    bool help = false;
    bool version = false;
    // One probe named first on the command line, or those of --probe-list.
    std::vector<std::string> probes;
    bool probeList = false;  // then every line names its probe too
    std::vector<std::string> gallery;
    std::optional<double> fmr;
    std::optional<std::size_t> top;
    // With --top: how many templates a probe's first look keeps for a full
    // comparison (0: every template compared fully).
    std::size_t shortlist = kDefaultShortlist;
    // Threads the comparisons are spread over; the output is the same for any.
    std::size_t threads = 1;
    // Decimals of a printed score: more let lists of a gallery searched in
    // parts be merged in exactly the order of one search.
    int decimals = 1;
};

// Throws std::runtime_error (or the option library's own errors) with the
// message to show for a command line that asks for nothing runnable.
MatchOptions parseMatchOptions(int argc, char* argv[]);

// The template paths listed in a file, one per line; blank lines are skipped
// and a line's CR LF ending is taken as a line break. `what` names the list
// in the error.
std::vector<std::string> readTemplateList(const std::string& listPath, const std::string& what);

void printMatchUsage(const char* programPath);

}  // namespace zarn::match
