// Runs the real zarn-cli binary in a child process against the scriptable
// test engine and captures what it printed and how it ended.
#pragma once

#include <map>
#include <string>
#include <vector>

#include "test_files.h"

namespace zarn::test {

struct ToolRun {
    std::string out;  // line ends as "\n" even from a Windows tool; see rawOut
    std::string rawOut;
    std::string err;
    int exitStatus = -1;  // process status, or -1 when killed by a signal
    int signal = 0;
    long maxResidentKb = 0;  // the tool process itself, not its children
    double seconds = 0;
};

using Environment = std::map<std::string, std::string>;

// env is added to the environment, which puts the test engine first on the
// library path; stdoutPath, when set, replaces the captured standard output.
// An empty LD_LIBRARY_PATH in env selects the tool's own engine instead.
//
// The tool under test can be replaced through the environment of the test:
//   ZARN_TEST_TOOL_WRAPPER  a command put in front of the tool (valgrind, wine)
//   ZARN_TEST_TOOL_PATH     the tool next to its own engine
//   ZARN_TEST_ENGINE_DIR    the folder of the test engine
//   ZARN_TEST_WINDOWS=1     the tool is a Windows exe run under Wine: it runs from
//                           the folder of the engine it is to load (a copy of it
//                           sits beside the test engine), absolute paths in
//                           arguments and env are handed over as Z: drive paths
//                           and mapped back in what it prints, and CRLF line ends
//                           become "\n" in out (rawOut keeps them).
ToolRun runTool(const std::vector<std::string>& args, const Environment& env = {},
                const std::string& stdoutPath = "");

// True when the tool under test is the Windows one (ZARN_TEST_WINDOWS=1).
bool toolIsWindows();

// The tool's path as it shows in its own usage text for runs with the test engine.
std::string toolPathShown();

// An absolute path in the form the tool is given it: unchanged on Linux, on
// the Z: drive for the Windows tool.
std::string pathForTool(const std::string& path);

}  // namespace zarn::test
