// The tool with the shipped engine merging several impressions: one finger's
// impressions give one view, and an impression of another finger is reported
// as a wrong enroll count.
#include <gtest/gtest.h>

#include "run_tool.h"
#include "test_iso_check.h"

namespace zarn::test {
namespace {

std::string sample(const std::string& name) {
    return std::string(ZARN_SAMPLES_DIR) + "/" + name + ".png";
}

// An empty LD_LIBRARY_PATH leaves the tool with its RUNPATH: build/lib.
const Environment kShippedEngine = {{"LD_LIBRARY_PATH", ""}};

std::vector<std::uint8_t> hexBytes(const std::string& text) {
    std::vector<std::uint8_t> bytes;
    for (std::size_t i = 0; i + 1 < text.size() && text[i] != '\n'; i += 2) {
        bytes.push_back(static_cast<std::uint8_t>(std::stoul(text.substr(i, 2), nullptr, 16)));
    }
    return bytes;
}

TEST(DefaultEngineMerge, ImpressionsOfOneFingerBecomeOneView) {
    const ToolRun result = runTool({"-p", "5", sample("finger3_1"), sample("finger3_2"),
                                    sample("finger3_3"), sample("finger3_4")},
                                   kShippedEngine);
    ASSERT_EQ(result.exitStatus, 0) << result.out << result.err;
    const auto record = zarn_test::checkEngineRecord(hexBytes(result.out));
    ASSERT_EQ(record.views.size(), 1u);
    EXPECT_EQ(record.views[0].position, 5);
    EXPECT_GE(record.views[0].minutiae.size(), 6u);
}

TEST(DefaultEngineMerge, AnotherFingerMakesTheCountWrong) {
    const ToolRun result =
        runTool({sample("finger1_1"), sample("finger1_2"), sample("finger2_1")}, kShippedEngine);
    EXPECT_EQ(result.out, "Wrong enroll count:\n\tExpected: 3\n\tActual: 2\n");
    EXPECT_EQ(result.exitStatus, 255);
}

}  // namespace
}  // namespace zarn::test
