// Every file of the hostile corpus, through the tool and the shipped engine:
// each run ends in a template or a clean error naming the file, never in a
// signal, a hang or a runaway allocation.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>

#include "run_tool.h"

#if defined(__SANITIZE_ADDRESS__)
#define ZARN_UNDER_ASAN 1
#endif

namespace zarn::test {
namespace {

std::vector<std::filesystem::path> corpusFiles() {
    std::vector<std::filesystem::path> files;
    for (const auto& entry : std::filesystem::directory_iterator(ZARN_CORPUS_DIR)) {
        if (entry.is_regular_file() && entry.path().filename() != "README.md") {
            files.push_back(entry.path());
        }
    }
    std::sort(files.begin(), files.end());
    return files;
}

bool isHexLine(const std::string& text) {
    return !text.empty() && text.back() == '\n' &&
           text.find_first_not_of("0123456789abcdef") == text.size() - 1;
}

TEST(HostileCorpus, EveryFileEndsCleanly) {
    const auto files = corpusFiles();
    ASSERT_GE(files.size(), 15u);
    for (const auto& file : files) {
        const std::string path = file.string();
        const ToolRun result = runTool({path}, {{"LD_LIBRARY_PATH", ""}});
        EXPECT_EQ(result.signal, 0) << path;
        if (result.exitStatus == 0) {
            EXPECT_TRUE(isHexLine(result.out)) << path << ": " << result.out;
        } else {
            EXPECT_EQ(result.exitStatus, 255) << path;
            const bool named = result.out == "Failed to read an image from file: " + path + "\n" ||
                               result.out == "VX_Enroll failed for image: " + path + "\n";
            EXPECT_TRUE(named) << path << ": " << result.out;
        }
        // Bounds, not speed targets: a hang or a multi-gigabyte allocation
        // would blow far past them.
        EXPECT_LT(result.seconds, 20.0) << path;
#ifndef ZARN_UNDER_ASAN
        EXPECT_LT(result.maxResidentKb, 512 * 1024) << path;
#endif
    }
}

TEST(HostileCorpus, AHostileFileAmongGoodOnesStopsTheEnrollmentByName) {
    const std::string hdr = std::string(ZARN_CORPUS_DIR) + "/zero-run.hdr";
    const std::string good = std::string(ZARN_SAMPLES_DIR) + "/finger1_1.png";
    const ToolRun result = runTool({good, hdr, good}, {{"LD_LIBRARY_PATH", ""}});
    EXPECT_EQ(result.out, "Failed to read an image from file: " + hdr + "\n");
    EXPECT_EQ(result.exitStatus, 255);
}

}  // namespace
}  // namespace zarn::test
