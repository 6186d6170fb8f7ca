#include "usage.h"

#include <iostream>

namespace zarn {

void printUsage(const char* programPath,
                const boost::program_options::options_description& visibleOptions) {
    std::cout << "Usage:\n  " << programPath << " <one or more fingerprint images>\n"
              << visibleOptions << std::endl;
}

void printVersion() {
    std::cout << "1.0.0" << std::endl;
}

}  // namespace zarn
