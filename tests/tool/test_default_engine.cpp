// The tool with the engine it ships with, found through its own RUNPATH:
// the bundled samples must give records that decode field by field.
#include <gtest/gtest.h>

#include "run_tool.h"
#include "test_iso_check.h"

namespace zarn::test {
namespace {

std::string sample(const std::string& name) {
    return std::string(ZARN_SAMPLES_DIR) + "/" + name;
}

std::vector<std::uint8_t> parseHex(const std::string& line) {
    std::vector<std::uint8_t> bytes;
    for (std::size_t i = 0; i + 1 < line.size() && line[i] != '\n'; i += 2) {
        bytes.push_back(static_cast<std::uint8_t>(std::stoul(line.substr(i, 2), nullptr, 16)));
    }
    return bytes;
}

// An empty LD_LIBRARY_PATH leaves the tool with its RUNPATH: build/lib.
const Environment kDefaultEngine = {{"LD_LIBRARY_PATH", ""}};

TEST(DefaultEngine, OneSampleGivesOneView) {
    const ToolRun result = runTool({sample("finger1_1.png")}, kDefaultEngine);
    ASSERT_EQ(result.exitStatus, 0) << result.out;
    const auto record = zarn_test::checkEngineRecord(parseHex(result.out));
    ASSERT_EQ(record.views.size(), 1u);
    EXPECT_EQ(record.views[0].position, 0);
    EXPECT_GE(record.views[0].minutiae.size(), 6u);
}

TEST(DefaultEngine, SeveralImpressionsCarryThePosition) {
    const ToolRun result = runTool(
        {"-p", "2", sample("finger1_1.png"), sample("finger1_2.png"), sample("finger1_3.png")},
        kDefaultEngine);
    ASSERT_EQ(result.exitStatus, 0) << result.out;
    const auto record = zarn_test::checkEngineRecord(parseHex(result.out));
    ASSERT_FALSE(record.views.empty());
    for (const auto& view : record.views) {
        EXPECT_EQ(view.position, 2);
    }
}

TEST(DefaultEngine, ABlankImageIsRefusedByName) {
    TempDir dir;
    const auto blank = (dir / "blank.pgm").string();
    writeFile(blank, "P5\n200 200\n255\n" + std::string(200 * 200, '\xC8'));
    const ToolRun result = runTool({blank}, kDefaultEngine);
    EXPECT_EQ(result.out, "VX_Enroll failed for image: " + blank + "\n");
    EXPECT_EQ(result.exitStatus, 255);
}

}  // namespace
}  // namespace zarn::test
