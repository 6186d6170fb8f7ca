// The output style chosen on the command line, shared by the option parser
// (which writes it) and the renderer (which reads it).
#pragma once

#include <string>

namespace zarn {

// "plain", "cstyle" or "pretty"; empty until the options are notified.
extern std::string g_outputFormat;

bool isKnownOutputFormat(const std::string& format);

}  // namespace zarn
