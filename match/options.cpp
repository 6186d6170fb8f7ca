#include "options.h"

#include <boost/program_options.hpp>
#include <fstream>
#include <iostream>
#include <stdexcept>

#include "parallel.h"

namespace po = boost::program_options;

namespace zarn::match {

namespace {

po::options_description visibleOptions() {
    po::options_description options("Allowed options");
    options.add_options()("help,h", "Show help message")(
        "version,v", "Show current version string of zarn-match")(
        "gallery-list,l", po::value<std::string>()->value_name("<file>"),
        "Read gallery template paths from <file>, one per line")(
        "probe-list,p", po::value<std::string>()->value_name("<file>"),
        "Compare every probe listed in <file>, one per line, with the gallery; all named "
        "templates are then gallery templates")(
        "fmr,r", po::value<double>()->value_name("<rate>"),
        "Add a match/no-match column at the threshold for false match rate <rate> (e.g. "
        "0.0001)")("top,t", po::value<std::size_t>()->value_name("<k>"),
                   "Print only the <k> best gallery templates (for each probe), best first")(
        "shortlist,s", po::value<std::size_t>()->value_name("<n>"),
        "With --top: compare fully only the gallery templates a quick first look ranks among "
        "the <n> best so far (at least <k>); faster, but it may miss a template of the "
        "probe's finger. 0 (the default) compares every template fully")(
        "threads,j", po::value<std::size_t>()->value_name("<n>"),
        "Spread the comparisons over <n> threads (default: every core the process may use); "
        "the output is the same for any <n>")(
        "decimals,d", po::value<int>()->value_name("<n>"),
        "Print scores with <n> decimals (default 1, at most 15); 15 lets the lists of a "
        "gallery searched in parts merge into exactly one search's list");
    return options;
}

}  // namespace

MatchOptions parseMatchOptions(int argc, char* argv[]) {
    po::options_description hidden;
    hidden.add_options()("templates", po::value<std::vector<std::string>>());
    po::options_description all;
    all.add(visibleOptions()).add(hidden);
    po::positional_options_description positional;
    positional.add("templates", -1);
    po::variables_map values;
    po::store(po::command_line_parser(argc, argv).options(all).positional(positional).run(),
              values);
    po::notify(values);

    MatchOptions options;
    options.help = values.count("help") > 0;
    options.version = values.count("version") > 0;
    if (options.help || options.version) {
        return options;
    }
    std::vector<std::string> templates;
    if (values.count("templates")) {
        templates = values["templates"].as<std::vector<std::string>>();
    }
    options.probeList = values.count("probe-list") > 0;
    if (options.probeList) {
        options.probes = readTemplateList(values["probe-list"].as<std::string>(), "probe list");
        options.gallery = templates;
    } else if (!templates.empty()) {
        options.probes = {templates.front()};
        options.gallery.assign(templates.begin() + 1, templates.end());
    }
    if (options.probes.empty()) {
        throw std::runtime_error("no probe template given");
    }
    if (values.count("gallery-list")) {
        const auto listed =
            readTemplateList(values["gallery-list"].as<std::string>(), "gallery list");
        options.gallery.insert(options.gallery.end(), listed.begin(), listed.end());
    }
    if (options.gallery.empty()) {
        throw std::runtime_error("no gallery template given");
    }
    if (values.count("fmr")) {
        const double rate = values["fmr"].as<double>();
        if (!(rate > 0 && rate <= 1)) {
            throw std::runtime_error("--fmr must be a rate above 0 and at most 1, such as 0.0001");
        }
        options.fmr = rate;
    }
    if (values.count("top")) {
        if (values["top"].as<std::size_t>() == 0) {
            throw std::runtime_error("--top must be at least 1");
        }
        options.top = values["top"].as<std::size_t>();
    }
    if (values.count("shortlist")) {
        if (!options.top) {
            throw std::runtime_error("--shortlist needs --top");
        }
        options.shortlist = values["shortlist"].as<std::size_t>();
        if (options.shortlist != 0 && options.shortlist < *options.top) {
            throw std::runtime_error("--shortlist must be 0 or at least --top");
        }
    }
    if (values.count("decimals")) {
        options.decimals = values["decimals"].as<int>();
        if (options.decimals < 0 || options.decimals > kMaxDecimals) {
            throw std::runtime_error("--decimals must be 0 to 15");
        }
    }
    options.threads = usableCores();
    if (values.count("threads")) {
        options.threads = values["threads"].as<std::size_t>();
        if (options.threads == 0) {
            throw std::runtime_error("--threads must be at least 1");
        }
    }
    return options;
}

std::vector<std::string> readTemplateList(const std::string& listPath, const std::string& what) {
    std::ifstream list(listPath);
    if (!list) {
        throw std::runtime_error("cannot read the " + what + " " + listPath);
    }
    std::vector<std::string> paths;
    std::string line;
    while (std::getline(list, line)) {
        if (!line.empty() && line.back() == '\r') {
            line.pop_back();
        }
        if (!line.empty()) {
            paths.push_back(line);
        }
    }
    if (list.bad()) {
        throw std::runtime_error("cannot read the " + what + " " + listPath);
    }
    return paths;
}

void printMatchUsage(const char* programPath) {
    std::cout << "Usage:\n  " << programPath
              << " [options] <probe template> <gallery template>...\n  " << programPath
              << " [options] --probe-list <file> <gallery template>...\n\n"
              << "Compares the probe with each gallery template and prints one line per gallery\n"
              << "template: the score, a space, the path. A score s means that a template of\n"
              << "another finger scores s or more with a chance of 1 in 10^(s/10): 20 is 1 in\n"
              << "100, 40 is 1 in 10,000. An unusable gallery template gets - as its score.\n"
              << "With --probe-list each line is the score, the probe's path and the gallery\n"
              << "template's path, gallery template by gallery template, each against every\n"
              << "probe in list order; with --top, the best of each probe, probe by probe.\n"
              << "Templates are ISO/IEC 19794-2:2005 finger minutiae records, as raw bytes or\n"
              << "as hexadecimal text (zarn-cli's plain, cstyle or pretty output).\n"
              << "Exit status: 0 done, 1 bad command line, 2 an unusable template.\n\n"
              << visibleOptions() << std::endl;
}

}  // namespace zarn::match
