// The Windows tool under Wine as its users meet it: line ends from a text-mode
// standard output, paths carried in the ANSI code page, and the failure status
// as cmd.exe reports it. Skipped unless the suite drives the Windows build.
#include <gtest/gtest.h>

#include <array>
#include <cstdio>
#include <cstdlib>

#include "run_tool.h"
#include "test_images.h"

namespace zarn::test {
namespace {

class WindowsTool : public ::testing::Test {
  protected:
    void SetUp() override {
        if (!toolIsWindows()) {
            GTEST_SKIP() << "the Windows tool only (scripts/test-windows.sh)";
        }
    }

    std::string image(const std::string& name) {
        const auto path = dir / name;
        writeImage(path, ImageFormat::Png, makeTestImage(8, 8, 1));
        return path.string();
    }

    TempDir dir;
};

TEST_F(WindowsTool, TextModeOutputEndsEveryLineInCrLf) {
    const std::string first = image("a.png");
    const std::string second = image("b.png");
    const struct {
        std::vector<std::string> args;
        Environment env;
        std::string rawOut;
    } cases[] = {
        {{first}, {}, "0a1b2c\r\n"},
        {{"-v"}, {}, "1.0.0\r\n"},
        {{first, second},
         {{"ZARN_TEST_COUNT", "1"}},
         "Wrong enroll count:\r\n\tExpected: 2\r\n\tActual: 1\r\n"},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(runTool(c.args, c.env).rawOut, c.rawOut) << ::testing::PrintToString(c.args);
    }
}

TEST_F(WindowsTool, PathsTravelInTheAnsiCodePage) {
    // Wine runs in code page 1252 here. The names are UTF-8 on the Unix side.
    const std::string shownDir = pathForTool(dir.path().string()) + "\\";
    const struct {
        std::string name;
        bool exists;
        std::string out;
    } cases[] = {
        {"caf\xc3\xa9.png", true, "0a1b2c\n"},
        // 0x80 in 1252, where a Latin-1 reading of the argument would differ.
        {"\xe2\x82\xacuro.png", true, "0a1b2c\n"},
        {"missing-caf\xc3\xa9.png", false,
         "Bad image file or path: " + shownDir + "missing-caf\xe9.png\n"},
        // Outside 1252 the command line itself carries a '?': no such file.
        {"\xe6\x8c\x87.png", true, "Bad image file or path: " + shownDir + "?.png\n"},
    };
    for (const auto& c : cases) {
        const std::string path = c.exists ? image(c.name) : (dir / c.name).string();
        const ToolRun result = runTool({path}, {{"LC_ALL", "C.UTF-8"}});
        EXPECT_EQ(result.out, c.out) << c.name;
    }
}

TEST_F(WindowsTool, FailureIsTheProcessStatusMinusOne) {
    const char* wrapper = std::getenv("ZARN_TEST_TOOL_WRAPPER");
    ASSERT_NE(wrapper, nullptr);
    const std::string command = std::string(wrapper) + " cmd /c '" + toolPathShown() +
                                " -x & echo status=%errorlevel%' 2>&1";
    FILE* pipe = popen(command.c_str(), "r");
    ASSERT_NE(pipe, nullptr);
    std::string out;
    std::array<char, 256> buffer{};
    while (std::fgets(buffer.data(), buffer.size(), pipe)) {
        out += buffer.data();
    }
    pclose(pipe);
    EXPECT_EQ(out, "unrecognised option '-x'\r\nstatus=-1\r\n");
}

}  // namespace
}  // namespace zarn::test
