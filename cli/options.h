// The tool's command-line options: the visible group shown in the usage text,
// the hidden image list and the positional mapping onto it.
#pragma once

#include <boost/program_options.hpp>
#include <cstdint>

namespace zarn {

struct CommandLineOptions {
    boost::program_options::options_description visibleOptions{"Allowed options"};
    boost::program_options::options_description hiddenOptions;
    boost::program_options::positional_options_description positional;
    boost::program_options::options_description allOptions;
};

// Notifier of the finger position: rejects values above 10.
void checkFingerPosition(std::uint32_t position);

CommandLineOptions buildCommandLineOptions();

}  // namespace zarn
