// Process entry of zarn-cli: parse the command line, dispatch, and report
// every failure in one place with the exit code -1.
#include <filesystem>
#include <iostream>
#include <stdexcept>
#include <vector>

#include "create_template.h"
#include "narrow_path.h"
#include "options.h"
#include "output_format.h"
#include "print_template.h"
#include "process_heap.h"
#include "usage.h"

namespace po = boost::program_options;

namespace {

constexpr int kExitOk = 0;
constexpr int kExitUsage = 1;
constexpr int kExitFailure = -1;

int run(int argc, char* argv[]) {
    const zarn::CommandLineOptions options = zarn::buildCommandLineOptions();
    po::variables_map values;
    po::store(po::command_line_parser(argc, argv)
                  .options(options.allOptions)
                  .positional(options.positional)
                  .run(),
              values);
    po::notify(values);

    // A lone switch is a request; anything more is a confused command line,
    // which still gets the usage but a non-zero exit code.
    if (values.count("help")) {
        zarn::printUsage(argv[0], options.visibleOptions);
        return argc == 2 ? kExitOk : kExitUsage;
    }
    if (values.count("version")) {
        if (argc != 2) {
            zarn::printUsage(argv[0], options.visibleOptions);
            return kExitUsage;
        }
        zarn::printVersion();
        return kExitOk;
    }
    if (!zarn::isKnownOutputFormat(zarn::g_outputFormat)) {
        throw std::runtime_error("Invalid value of --format option: " + zarn::g_outputFormat);
    }
    if (!values.count("images")) {
        zarn::printUsage(argv[0], options.visibleOptions);
        return kExitUsage;
    }

    const auto position = values["position-finger"].as<std::uint32_t>();
    const auto paths = values["images"].as<std::vector<std::filesystem::path>>();
    if (paths.size() == 1 && position != 0) {
        throw std::runtime_error("position-finger option only availible for multiple images");
    }
    zarn::createTemplate(paths, position);
    return kExitOk;
}

}  // namespace

int main(int argc, char* argv[]) {
    zarn::useFileCodePageForPaths();
    zarn::keepLargeBlocksInHeap();
    try {
        return run(argc, argv);
    } catch (const zarn::OutputWriteError& error) {
        std::cerr << error.what() << std::endl;
        return kExitFailure;
    } catch (const std::exception& error) {
        std::cout << error.what() << std::endl;
        return kExitFailure;
    }
}
