// The usage and version texts.
#pragma once

#include <boost/program_options.hpp>

namespace zarn {

void printUsage(const char* programPath,
                const boost::program_options::options_description& visibleOptions);
void printVersion();

}  // namespace zarn
