// Template creation through the real binary and the scriptable engine: the
// order of engine calls, every failure message, and the engine shutdown on
// every path.
#include <gtest/gtest.h>
#include <unistd.h>

#include <algorithm>
#include <sstream>

#include "run_tool.h"
#include "test_images.h"

namespace zarn::test {
namespace {

// The names of the engine calls in the log, in order.
std::vector<std::string> callNames(const std::string& log) {
    std::vector<std::string> names;
    std::istringstream lines(log);
    std::string line;
    while (std::getline(lines, line)) {
        names.push_back(line.substr(0, line.find(' ')));
    }
    return names;
}

std::vector<std::string> split(const std::string& text) {
    std::vector<std::string> words;
    std::istringstream stream(text);
    std::string word;
    while (stream >> word) {
        words.push_back(word);
    }
    return words;
}

class CreateTemplate : public ::testing::Test {
  protected:
    void SetUp() override {
        for (int i = 1; i <= 3; ++i) {
            images.push_back((dir / ("finger" + std::to_string(i) + ".png")).string());
            writeImage(images.back(), ImageFormat::Png, makeTestImage(10 + i, 20, 1));
        }
    }

    ToolRun run(const std::vector<std::string>& args, std::map<std::string, std::string> env = {},
                const std::string& stdoutPath = "") {
        std::remove(log().c_str());
        env["ZARN_TEST_LOG"] = log();
        return runTool(args, env, stdoutPath);
    }

    std::string log() const { return (dir / "calls.log").string(); }
    std::string calls() const { return readFile(log()); }
    std::vector<std::string> names() const { return callNames(calls()); }
    long shutdowns() const {
        const auto all = names();
        return std::count(all.begin(), all.end(), "VX_UninitZARN");
    }

    TempDir dir;
    std::vector<std::string> images;
};

TEST_F(CreateTemplate, SingleImageUsesTheTwoCallProtocolThenShutsDown) {
    const ToolRun result = run({images[0]});
    EXPECT_EQ(result.out, "0a1b2c\n");
    EXPECT_EQ(result.err, "");
    EXPECT_EQ(result.exitStatus, 0);
    const auto lines = calls();
    EXPECT_EQ(names(), split("VX_InitZARN VX_Enroll VX_Enroll VX_Enroll VX_Enroll VX_UninitZARN"));
    // The size query gets a null buffer and a zeroed size; the fetch gets the size.
    EXPECT_NE(lines.find("VX_Enroll buffer=null size=0\n"), std::string::npos);
    EXPECT_NE(lines.find("VX_Enroll buffer=set size=3\n"), std::string::npos);
    EXPECT_NE(lines.find("VX_Enroll 11x20 "), std::string::npos);
}

TEST_F(CreateTemplate, SeveralImagesRunAnEnrollmentInCommandLineOrder) {
    const ToolRun result = run({"-f", "cstyle", "-p", "6", images[2], images[0], images[1]},
                               {{"ZARN_TEST_TEMPLATE", "00ff10"}});
    EXPECT_EQ(result.out, "0x00, 0xFF, 0x10\n");
    EXPECT_EQ(result.exitStatus, 0);
    EXPECT_EQ(names(), split("VX_InitZARN VX_EnrollInit VX_EnrollUpdate VX_EnrollUpdate "
                             "VX_EnrollUpdate VX_EnrollGetCount VX_EnrollFinal VX_EnrollFinal "
                             "VX_UninitZARN"));
    const auto lines = calls();
    EXPECT_NE(lines.find("VX_EnrollInit position=6 count=3\n"), std::string::npos);
    const auto first = lines.find("VX_EnrollUpdate handle=ok 13x20");
    const auto second = lines.find("VX_EnrollUpdate handle=ok 11x20");
    const auto third = lines.find("VX_EnrollUpdate handle=ok 12x20");
    EXPECT_LT(first, second);
    EXPECT_LT(second, third);
    EXPECT_NE(third, std::string::npos);
    EXPECT_NE(lines.find("VX_EnrollFinal buffer=null size=0\n"), std::string::npos);
    EXPECT_NE(lines.find("VX_EnrollFinal buffer=set size=3\n"), std::string::npos);
}

struct FailureCase {
    const char* name;
    std::vector<std::string> args;  // "I1".."I3" are images, "MISSING", "DIR", "JUNK" bad paths
    std::map<std::string, std::string> env;
    std::string message;                 // "$I2" etc. stand for the paths
    std::string lastCallBeforeShutdown;  // "" when the engine never started
};

// Keeps test names readable in ctest's listing.
void PrintTo(const FailureCase& c, std::ostream* out) {
    *out << c.name;
}

class CreateTemplateFailures : public CreateTemplate,
                               public ::testing::WithParamInterface<FailureCase> {
  protected:
    std::string pathFor(const std::string& token) {
        if (token.size() == 2 && token[0] == 'I') {
            return images[static_cast<std::size_t>(token[1] - '1')];
        }
        if (token == "MISSING") {
            return (dir / "no-such.png").string();
        }
        if (token == "DIR") {
            return dir.path().string();
        }
        if (token == "JUNK") {
            const auto junk = dir / "junk.png";
            writeFile(junk, "not an image");
            return junk.string();
        }
        return token;
    }

    std::string expand(std::string text) {
        for (const char* token : {"$I1", "$I2", "$I3", "$MISSING", "$DIR", "$JUNK"}) {
            for (auto at = text.find(token); at != std::string::npos; at = text.find(token)) {
                text.replace(at, std::string(token).size(), pathFor(token + 1));
            }
        }
        return text;
    }
};

TEST_P(CreateTemplateFailures, ReportsTheMessageAndShutsTheEngineDownOnce) {
    const FailureCase& c = GetParam();
    std::vector<std::string> args;
    for (const auto& arg : c.args) {
        args.push_back(pathFor(arg));
    }
    const ToolRun result = run(args, c.env);
    EXPECT_EQ(result.out, expand(c.message) + "\n");
    EXPECT_EQ(result.err, "");
    EXPECT_EQ(result.exitStatus, 255);

    const auto all = names();
    if (c.lastCallBeforeShutdown.empty()) {
        EXPECT_EQ(all, std::vector<std::string>{"VX_InitZARN"}) << "no shutdown after failed init";
        return;
    }
    EXPECT_EQ(shutdowns(), 1);
    ASSERT_GE(all.size(), 2u);
    EXPECT_EQ(all.back(), "VX_UninitZARN");
    EXPECT_EQ(all[all.size() - 2], c.lastCallBeforeShutdown);
}

INSTANTIATE_TEST_SUITE_P(
    Messages, CreateTemplateFailures,
    ::testing::Values(
        FailureCase{"InitFailsEvenWithABadPath",
                    {"MISSING"},
                    {{"ZARN_TEST_FAIL", "VX_InitZARN"}},
                    "VX_InitZARN failed",
                    ""},
        FailureCase{
            "MissingFile", {"MISSING"}, {}, "Bad image file or path: $MISSING", "VX_InitZARN"},
        FailureCase{"Directory", {"I1", "DIR"}, {}, "Bad image file or path: $DIR", "VX_InitZARN"},
        // Every path is tested before anything is decoded or enrolled.
        FailureCase{"ThirdPathMissing",
                    {"I1", "I2", "MISSING"},
                    {},
                    "Bad image file or path: $MISSING",
                    "VX_InitZARN"},
        FailureCase{"UndecodableSingle",
                    {"JUNK"},
                    {},
                    "Failed to read an image from file: $JUNK",
                    "VX_InitZARN"},
        FailureCase{"UndecodableSecond",
                    {"I1", "JUNK", "I3"},
                    {},
                    "Failed to read an image from file: $JUNK",
                    "VX_EnrollUpdate"},
        FailureCase{"EnrollSizeQuery",
                    {"I1"},
                    {{"ZARN_TEST_FAIL", "VX_Enroll#1"}},
                    "VX_Enroll failed for image: $I1",
                    "VX_Enroll"},
        FailureCase{"EnrollFetch",
                    {"I1"},
                    {{"ZARN_TEST_FAIL", "VX_Enroll#2"}},
                    "VX_Enroll failed for image: $I1",
                    "VX_Enroll"},
        FailureCase{"EnrollInitNamesFirstPath",
                    {"I2", "I1"},
                    {{"ZARN_TEST_FAIL", "VX_EnrollInit"}},
                    "VX_EnrollInit failed for image: $I2",
                    "VX_EnrollInit"},
        FailureCase{"UpdateNamesItsPath",
                    {"I1", "I2", "I3"},
                    {{"ZARN_TEST_FAIL", "VX_EnrollUpdate#2"}},
                    "VX_EnrollUpdate failed for image: $I2",
                    "VX_EnrollUpdate"},
        FailureCase{"GetCount",
                    {"I1", "I2"},
                    {{"ZARN_TEST_FAIL", "VX_EnrollGetCount"}},
                    "VX_EnrollGetCount failed",
                    "VX_EnrollGetCount"},
        FailureCase{"WrongCount",
                    {"I1", "I2", "I3"},
                    {{"ZARN_TEST_COUNT", "2"}},
                    "Wrong enroll count:\n\tExpected: 3\n\tActual: 2",
                    "VX_EnrollGetCount"},
        FailureCase{"HugeCount",
                    {"I1", "I2"},
                    {{"ZARN_TEST_COUNT", "4294967295"}},
                    "Wrong enroll count:\n\tExpected: 2\n\tActual: 4294967295",
                    "VX_EnrollGetCount"},
        FailureCase{"FinalSizeQuery",
                    {"I1", "I2"},
                    {{"ZARN_TEST_FAIL", "VX_EnrollFinal#1"}},
                    "VX_EnrollFinal failed",
                    "VX_EnrollFinal"},
        FailureCase{"FinalFetch",
                    {"I1", "I2"},
                    {{"ZARN_TEST_FAIL", "VX_EnrollFinal#2"}},
                    "VX_EnrollFinal failed",
                    "VX_EnrollFinal"},
        // The shutdown report comes out before the error that caused the unwinding.
        FailureCase{"ShutdownReportFirst",
                    {"MISSING"},
                    {{"ZARN_TEST_FAIL", "VX_UninitZARN"}},
                    "VX_UninitZARN failed\nBad image file or path: $MISSING",
                    "VX_InitZARN"}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(CreateTemplate, FailedShutdownAfterSuccessStillExitsZero) {
    const ToolRun result = run({images[0]}, {{"ZARN_TEST_FAIL", "VX_UninitZARN"}});
    EXPECT_EQ(result.out, "0a1b2c\nVX_UninitZARN failed\n");
    EXPECT_EQ(result.exitStatus, 0);
    EXPECT_EQ(shutdowns(), 1);
}

TEST_F(CreateTemplate, SizeZeroGivesAnEmptyLineAndANullBuffer) {
    for (const auto& args :
         {std::vector<std::string>{images[0]}, std::vector<std::string>{images[0], images[1]}}) {
        const ToolRun result = run(args, {{"ZARN_TEST_SIZE", "0"}});
        EXPECT_EQ(result.out, "\n");
        EXPECT_EQ(result.exitStatus, 0);
        const auto lines = calls();
        EXPECT_EQ(lines.find("buffer=set"), std::string::npos) << lines;
    }
}

TEST_F(CreateTemplate, EngineThatSucceedsWithoutWritingLeavesZeroNotGarbage) {
    // The size and count the tool passes in start at zero, so a silent
    // engine yields an empty template or a count of 0, never stack garbage.
    ToolRun result = run({images[0]}, {{"ZARN_TEST_SILENT", "VX_Enroll"}});
    EXPECT_EQ(result.out, "\n");
    EXPECT_EQ(result.exitStatus, 0);

    result = run({images[0], images[1]}, {{"ZARN_TEST_SILENT", "VX_EnrollGetCount"}});
    EXPECT_EQ(result.out, "Wrong enroll count:\n\tExpected: 2\n\tActual: 0\n");
    EXPECT_EQ(result.exitStatus, 255);
}

TEST_F(CreateTemplate, FailedWriteOfTheTemplateIsAFailure) {
    if (access("/dev/full", W_OK) != 0) {
        GTEST_SKIP() << "no /dev/full here";
    }
    const ToolRun result = run({images[0]}, {}, "/dev/full");
    EXPECT_EQ(result.err, "Failed to write the template to standard output\n");
    EXPECT_EQ(result.exitStatus, 255);
    EXPECT_EQ(shutdowns(), 1);
}

TEST_F(CreateTemplate, FileSystemErrorsWhileTestingAPathComeThroughUnchanged) {
    if (toolIsWindows()) {
        // Windows reports neither a link loop nor an overlong name as an error:
        // such a path is simply not a file there.
        GTEST_SKIP() << "POSIX file-system errors";
    }
    const auto loop = dir / "loop.png";
    std::filesystem::create_symlink(loop, loop);
    const std::string tooLong = (dir / std::string(300, 'x')).string();
    for (const auto& path : {loop.string(), tooLong}) {
        const ToolRun result = run({path});
        EXPECT_EQ(result.out.rfind("filesystem error: status: ", 0), 0u) << result.out;
        EXPECT_NE(result.out.find("[" + path + "]"), std::string::npos) << result.out;
        EXPECT_EQ(result.exitStatus, 255);
        EXPECT_EQ(shutdowns(), 1);
    }
}

TEST_F(CreateTemplate, SymbolicLinkToAnImageIsFollowed) {
    const auto link = dir / "link.png";
    std::filesystem::create_symlink(images[0], link);
    const ToolRun result = run({link.string()});
    EXPECT_EQ(result.out, "0a1b2c\n");
    EXPECT_EQ(result.exitStatus, 0);
}

TEST_F(CreateTemplate, EnginePicksUpTheFirstComponentOfColourImages) {
    // The engine's log shows the first and last pixel it was handed: red of
    // the top-left and bottom-right pixels.
    TestImage rgb{4, 3, 3, {}};
    for (int i = 0; i < 12; ++i) {
        rgb.pixels.insert(rgb.pixels.end(), {static_cast<std::uint8_t>(100 + i), 7, 9});
    }
    writeImage(dir / "rgb.bmp", ImageFormat::Bmp, rgb);
    const ToolRun result = run({(dir / "rgb.bmp").string()});
    EXPECT_EQ(result.exitStatus, 0);
    EXPECT_NE(calls().find("VX_Enroll 4x3 hash="), std::string::npos);
    EXPECT_NE(calls().find(" first=100 last=111\n"), std::string::npos) << calls();
}

}  // namespace
}  // namespace zarn::test
