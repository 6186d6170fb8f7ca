#include "options.h"

#include <filesystem>
#include <stdexcept>
#include <string>
#include <vector>

#include "output_format.h"

namespace po = boost::program_options;

namespace zarn {

void checkFingerPosition(std::uint32_t position) {
    if (position > 10) {
        throw std::runtime_error("position must be in range 0-10");
    }
}

CommandLineOptions buildCommandLineOptions() {
    CommandLineOptions options;
    // clang-format off
    options.visibleOptions.add_options()
        ("help,h", "Show help message")
        ("version,v", "Show current version string of zarn-cli")
        ("position-finger,p",
         po::value<std::uint32_t>()
             ->value_name("<position>")
             ->default_value(0)
             ->notifier(checkFingerPosition),
         "Finger position (0-10, 0 - unknown, 1 - right thumb, 6 - left thumb)")
        ("format,f",
         po::value<std::string>(&g_outputFormat)
             ->value_name("<output string format style>")
             ->default_value("plain"),
         "Output buffer format. Possible values:\n"
         "cstyle - \"0xAA, 0xBB, 0xCC, ...\",\n"
         "plain - \"aabbcc33...\",\n"
         "pretty - \"AA BB CC 33 ...\".\n"
         "Default value - plain");
    // clang-format on

    // Image paths are taken positionally; the named form exists because the
    // parser needs an option to map them onto, and stays out of the help.
    options.hiddenOptions.add_options()("images", po::value<std::vector<std::filesystem::path>>());
    options.positional.add("images", -1);

    options.allOptions.add(options.visibleOptions).add(options.hiddenOptions);
    return options;
}

}  // namespace zarn
