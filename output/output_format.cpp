#include "output_format.h"

namespace zarn {

std::string g_outputFormat;

bool isKnownOutputFormat(const std::string& format) {
    return format == "cstyle" || format == "plain" || format == "pretty";
}

}  // namespace zarn
