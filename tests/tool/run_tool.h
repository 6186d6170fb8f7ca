// Runs the real zarn-cli binary in a child process against the scriptable
// test engine and captures what it printed and how it ended.
#pragma once

#include <map>
#include <string>
#include <vector>

#include "test_files.h"

namespace zarn::test {

struct ToolRun {
    std::string out;
    std::string err;
    int exitStatus = -1;  // process status, or -1 when killed by a signal
    int signal = 0;
    long maxResidentKb = 0;  // the tool process itself, not its children
    double seconds = 0;
};

using Environment = std::map<std::string, std::string>;

// env is added to the environment, which puts the test engine first on the
// library path; stdoutPath, when set, replaces the captured standard output.
ToolRun runTool(const std::vector<std::string>& args, const Environment& env = {},
                const std::string& stdoutPath = "");

}  // namespace zarn::test
