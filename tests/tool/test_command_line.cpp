// The command line through the real binary: usage, version, exit codes, and
// the options library's own messages. None of these runs may touch the
// engine, except those that go on to create a template.
#include <gtest/gtest.h>

#include "run_tool.h"
#include "test_images.h"

namespace zarn::test {
namespace {

const std::string kUsage = std::string("Usage:\n  ") + toolPathShown() +
                           " <one or more fingerprint images>\n"
                           "Allowed options:\n"
                           "  -h [ --help ]                         Show help message\n"
                           "  -v [ --version ]                      Show current version string of "
                           "zarn-cli\n"
                           "  -p [ --position-finger ] <position> (=0)\n"
                           "                                        Finger position (0-10, 0 - "
                           "unknown, 1 -\n"
                           "                                        right thumb, 6 - left thumb)\n"
                           "  -f [ --format ] <output string format style> (=plain)\n"
                           "                                        Output buffer format. Possible "
                           "values:\n"
                           "                                        cstyle - \"0xAA, 0xBB, 0xCC, "
                           "...\",\n"
                           "                                        plain - \"aabbcc33...\",\n"
                           "                                        pretty - \"AA BB CC 33 ...\".\n"
                           "                                        Default value - plain\n"
                           "\n";

class CommandLine : public ::testing::Test {
  protected:
    void SetUp() override {
        image = (dir / "finger.png").string();
        writeImage(image, ImageFormat::Png, makeTestImage(8, 8, 1));
    }

    // Runs the tool with the image placeholder "IMG" replaced.
    ToolRun run(std::vector<std::string> args) {
        for (auto& arg : args) {
            if (arg == "IMG") {
                arg = image;
            }
        }
        return runTool(args, {{"ZARN_TEST_LOG", log()}});
    }

    std::string log() const { return (dir / "calls.log").string(); }
    std::string calls() const { return readFile(log()); }

    TempDir dir;
    std::string image;
};

struct ExitCase {
    std::vector<std::string> args;
    std::string expectedOut;  // "USAGE" stands for the usage text
    int exitStatus;
};

TEST_F(CommandLine, RequestsAndIncompleteCommandLines) {
    const ExitCase cases[] = {
        {{}, "USAGE", 1},
        {{"-h"}, "USAGE", 0},
        {{"--help"}, "USAGE", 0},
        {{"-h", "IMG"}, "USAGE", 1},
        {{"-hv"}, "USAGE", 0},  // help wins, and it is still one argument
        {{"-h", "-v"}, "USAGE", 1},
        {{"-h", "-f", "bogus"}, "USAGE", 1},  // help is decided before the format
        {{"-v"}, "1.0.0\n", 0},
        {{"--version"}, "1.0.0\n", 0},
        {{"-v", "IMG"}, "USAGE", 1},
        {{"-f", "pretty"}, "USAGE", 1},
        {{"-p", "4"}, "USAGE", 1},
    };
    for (const auto& c : cases) {
        const ToolRun result = run(c.args);
        const std::string expected = c.expectedOut == "USAGE" ? kUsage : c.expectedOut;
        EXPECT_EQ(result.out, expected) << ::testing::PrintToString(c.args);
        EXPECT_EQ(result.exitStatus, c.exitStatus) << ::testing::PrintToString(c.args);
        EXPECT_EQ(result.err, "");
    }
    EXPECT_EQ(calls(), "") << "no request may start the engine";
}

struct ErrorCase {
    std::vector<std::string> args;
    std::string message;
};

TEST_F(CommandLine, BadOptionsFailWithTheirMessageBeforeTheEngineStarts) {
    const ErrorCase cases[] = {
        {{"--foo", "IMG"}, "unrecognised option '--foo'"},
        {{"-x"}, "unrecognised option '-x'"},
        {{"-p", "abc", "IMG", "IMG"},
         "the argument ('abc') for option '--position-finger' is invalid"},
        {{"-f", "plain", "-f", "pretty", "IMG"},
         "option '--format' cannot be specified more than once"},
        {{"IMG", "-f"}, "the required argument for option '--format' is missing"},
        {{"-p", "11", "IMG", "IMG"}, "position must be in range 0-10"},
        {{"-p", "11", "-h"}, "position must be in range 0-10"},  // notification runs first
        {{"--position-finger=-1", "IMG", "IMG"}, "position must be in range 0-10"},
        {{"-p", "4294967307", "IMG", "IMG"},
         "the argument ('4294967307') for option '--position-finger' is invalid"},
        {{"-p", "3", "IMG"}, "position-finger option only availible for multiple images"},
        {{"-f", "PLAIN", "IMG"}, "Invalid value of --format option: PLAIN"},
        {{"-f", "bogus"}, "Invalid value of --format option: bogus"},
        {{"-f", "", "IMG"}, "Invalid value of --format option: "},
        {{"--format="},
         "the argument for option '--format' should follow immediately after the equal sign"},
        {{"a b"}, "the argument ('a b') for option '--images' is invalid"},
        {{""}, "the argument for option '--images' is invalid"},
        {{"\"unterminated"}, "the argument ('\"unterminated') for option '--images' is invalid"},
    };
    for (const auto& c : cases) {
        const ToolRun result = run(c.args);
        EXPECT_EQ(result.out, c.message + "\n") << ::testing::PrintToString(c.args);
        EXPECT_EQ(result.exitStatus, 255) << ::testing::PrintToString(c.args);
        EXPECT_EQ(result.err, "");
    }
    EXPECT_EQ(calls(), "");
}

TEST_F(CommandLine, EquivalentSpellingsCreateTheSameTemplate) {
    const std::vector<std::vector<std::string>> spellings = {
        {"-f", "pretty", "IMG"},
        {"--format=pretty", "IMG"},
        {"-fpretty", "IMG"},
        {"--format", "pretty", "IMG"},
        {"--form=pretty", "IMG"},  // unambiguous abbreviation
        {"-p", "0", "-f", "pretty", "IMG"},
        {"-f", "pretty", "--images", "IMG"},
        {"-f", "pretty", "--position-finger=-0", "IMG"},
    };
    for (const auto& args : spellings) {
        const ToolRun result = run(args);
        EXPECT_EQ(result.out, "0A 1B 2C\n") << ::testing::PrintToString(args);
        EXPECT_EQ(result.exitStatus, 0) << ::testing::PrintToString(args);
    }
}

TEST_F(CommandLine, PositionReachesTheEngineForSeveralImages) {
    for (const auto& [given, logged] :
         {std::pair{"6", "6"}, std::pair{"+3", "3"}, std::pair{"10", "10"}, std::pair{"0", "0"}}) {
        std::remove(log().c_str());
        const ToolRun result = run({"-p", given, "IMG", "--images", "IMG"});
        EXPECT_EQ(result.exitStatus, 0) << given;
        EXPECT_NE(calls().find(std::string("VX_EnrollInit position=") + logged + " count=2\n"),
                  std::string::npos)
            << given;
    }
}

TEST_F(CommandLine, QuotedImageTokensKeepSpacesAndDropBackslashes) {
    const auto spaced = dir / "my finger.png";
    writeImage(spaced, ImageFormat::Png, makeTestImage(8, 8, 1));
    const std::string quoted = "\"" + (dir / "my fin\\ger.png").string() + "\"";
    const ToolRun result = runTool({quoted}, {{"ZARN_TEST_LOG", log()}});
    EXPECT_EQ(result.out, "0a1b2c\n");
    EXPECT_EQ(result.exitStatus, 0);

    // Unquoted, the same name is two tokens' worth and is refused whole.
    const ToolRun unquoted = runTool({spaced.string()});
    EXPECT_EQ(unquoted.out,
              "the argument ('" + spaced.string() + "') for option '--images' is invalid\n");
}

}  // namespace
}  // namespace zarn::test
