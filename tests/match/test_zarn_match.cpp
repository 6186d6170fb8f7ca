// zarn-match end to end: the output lines, the decision column, the search,
// the gallery list, and what unusable templates and command lines do.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <sstream>

#include "iso19794.h"
#include "match_fixtures.h"
#include "run_tool.h"

namespace zarn::test {
namespace {

std::vector<std::string> linesOf(const std::string& text) {
    std::vector<std::string> lines;
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);) {
        lines.push_back(line);
    }
    return lines;
}

double scoreOf(const std::string& line) {
    return std::stod(line.substr(0, line.find(' ')));
}

class ZarnMatch : public ::testing::Test {
  protected:
    void SetUp() override {
        // One finger in all the forms a user may hold, another finger raw.
        const auto first = sampleRecord("finger1_1");
        const std::string raw(first.begin(), first.end());
        writeFile(dir / "probe.fmr", raw);
        writeFile(dir / "same-plain.txt", plainHex(sampleRecord("finger1_2")));
        writeFile(dir / "same-pretty.txt", prettyHex(sampleRecord("finger1_3")));
        writeFile(dir / "same-cstyle.txt", cstyleHex(sampleRecord("finger1_4")));
        const auto other = sampleRecord("finger2_1");
        writeFile(dir / "other.fmr", std::string(other.begin(), other.end()));
        writeFile(dir / "garbage.txt", "not a template\n");
    }
    std::string path(const std::string& name) const { return (dir / name).string(); }
    // Impressions 1 to `last` of three sample fingers as files: the first of
    // each finger listed in `probes`, the others in `gallery`.
    void writeImpressions(int last, std::string& probes, std::string& gallery) {
        for (const char* finger : {"finger3", "finger1", "finger2"}) {
            for (int impression = 1; impression <= last; ++impression) {
                const std::string name = std::string(finger) + "_" + std::to_string(impression);
                const auto record = sampleRecord(name);
                writeFile(dir / (name + ".fmr"), std::string(record.begin(), record.end()));
                (impression == 1 ? probes : gallery) += path(name + ".fmr") + "\n";
            }
        }
    }
    TempDir dir;
};

TEST_F(ZarnMatch, OneLinePerGalleryTemplateInGalleryOrder) {
    const ToolRun run = runTool({path("probe.fmr"), path("other.fmr"), path("same-plain.txt"),
                                 path("same-pretty.txt"), path("same-cstyle.txt")});
    ASSERT_EQ(run.exitStatus, 0) << run.err;
    EXPECT_EQ(run.err, "");
    const auto lines = linesOf(run.out);
    ASSERT_EQ(lines.size(), 4u) << run.out;
    const char* names[] = {"other.fmr", "same-plain.txt", "same-pretty.txt", "same-cstyle.txt"};
    for (std::size_t i = 0; i < 4; ++i) {
        EXPECT_EQ(lines[i].substr(lines[i].find(' ') + 1), path(names[i]));
        // "12.3 path": one decimal.
        EXPECT_EQ(lines[i].find('.'), lines[i].find(' ') - 2) << lines[i];
    }
    EXPECT_LT(scoreOf(lines[0]), 30);  // another finger: below a 1 in 1,000 chance
    for (std::size_t i = 1; i < 4; ++i) {
        EXPECT_GT(scoreOf(lines[i]), 40) << lines[i];
    }
}

TEST_F(ZarnMatch, FmrAddsTheDecision) {
    const ToolRun run =
        runTool({"--fmr", "0.0001", path("probe.fmr"), path("same-plain.txt"), path("other.fmr")});
    ASSERT_EQ(run.exitStatus, 0) << run.err;
    const auto lines = linesOf(run.out);
    ASSERT_EQ(lines.size(), 2u);
    EXPECT_EQ(lines[0].substr(lines[0].find(' ')), " " + path("same-plain.txt") + " match");
    EXPECT_EQ(lines[1].substr(lines[1].find(' ')), " " + path("other.fmr") + " no-match");
    for (const char* rate : {"0", "-0.1", "2", "abc"}) {
        const ToolRun bad = runTool({"--fmr", rate, path("probe.fmr"), path("other.fmr")});
        EXPECT_EQ(bad.exitStatus, 1) << rate;
        EXPECT_EQ(bad.out, "");
        EXPECT_NE(bad.err, "") << rate;
    }
}

TEST_F(ZarnMatch, TopListsTheBestFirst) {
    const ToolRun run =
        runTool({"--top", "2", path("probe.fmr"), path("other.fmr"), path("same-plain.txt"),
                 path("same-pretty.txt"), path("same-cstyle.txt")});
    ASSERT_EQ(run.exitStatus, 0) << run.err;
    const auto lines = linesOf(run.out);
    ASSERT_EQ(lines.size(), 2u);
    EXPECT_GE(scoreOf(lines[0]), scoreOf(lines[1]));
    EXPECT_EQ(run.out.find("other.fmr"), std::string::npos);
    EXPECT_EQ(runTool({"--top", "0", path("probe.fmr"), path("other.fmr")}).exitStatus, 1);
    // Once the best can no longer change, what comes later is still read:
    // an unusable template is still reported.
    const ToolRun late =
        runTool({"--top", "1", path("probe.fmr"), path("same-plain.txt"), path("garbage.txt")});
    EXPECT_EQ(late.exitStatus, 2);
    EXPECT_EQ(late.out.substr(late.out.find(' ') + 1), path("same-plain.txt") + "\n");
    EXPECT_NE(late.err.find("gallery " + path("garbage.txt")), std::string::npos) << late.err;
}

TEST_F(ZarnMatch, GalleryListAddsToTheNamedGallery) {
    writeFile(dir / "list.txt", path("same-plain.txt") + "\r\n\n" + path("other.fmr") + "\n");
    const ToolRun run =
        runTool({"--gallery-list", path("list.txt"), path("probe.fmr"), path("same-pretty.txt")});
    ASSERT_EQ(run.exitStatus, 0) << run.err;
    const auto lines = linesOf(run.out);
    ASSERT_EQ(lines.size(), 3u);
    EXPECT_NE(lines[0].find("same-pretty.txt"), std::string::npos);
    EXPECT_NE(lines[1].find("same-plain.txt"), std::string::npos);
    EXPECT_NE(lines[2].find("other.fmr"), std::string::npos);

    const ToolRun missing = runTool({"-l", path("no-list.txt"), path("probe.fmr")});
    EXPECT_EQ(missing.exitStatus, 1);
    EXPECT_NE(missing.err.find("no-list.txt"), std::string::npos);
}

TEST_F(ZarnMatch, AnUnusableGalleryTemplateKeepsItsLine) {
    const ToolRun run = runTool(
        {path("probe.fmr"), path("garbage.txt"), path("missing.fmr"), path("same-plain.txt")});
    EXPECT_EQ(run.exitStatus, 2);
    const auto lines = linesOf(run.out);
    ASSERT_EQ(lines.size(), 3u);
    EXPECT_EQ(lines[0], "- " + path("garbage.txt"));
    EXPECT_EQ(lines[1], "- " + path("missing.fmr"));
    EXPECT_GT(scoreOf(lines[2]), 40);
    EXPECT_NE(run.err.find("gallery " + path("garbage.txt") +
                           ": empty, or neither a record nor its hexadecimal text"),
              std::string::npos)
        << run.err;
    EXPECT_NE(run.err.find("gallery " + path("missing.fmr") + ": cannot be read"),
              std::string::npos)
        << run.err;
}

TEST_F(ZarnMatch, AnUnusableProbeStopsBeforeAnyComparison) {
    const ToolRun run = runTool({path("garbage.txt"), path("probe.fmr"), path("other.fmr")});
    EXPECT_EQ(run.exitStatus, 2);
    EXPECT_EQ(run.out, "");
    EXPECT_NE(run.err.find("probe " + path("garbage.txt")), std::string::npos) << run.err;
}

// An enrolled finger may hold further views after the fused one: each view
// counts, so a probe that matches only the second still matches the record.
TEST_F(ZarnMatch, EveryViewOfARecordCounts) {
    const auto first = sampleRecord("finger2_1");
    const auto second = sampleRecord("finger1_3");
    auto record = decodeIsoRecord(first.data(), first.size());
    const auto other = decodeIsoRecord(second.data(), second.size());
    ASSERT_TRUE(record && other);
    record->views.push_back(other->views[0]);
    record->views[1].viewNumber = 1;
    const auto bytes = encodeIsoRecord(*record);
    writeFile(dir / "two-views.fmr", std::string(bytes.begin(), bytes.end()));
    writeFile(dir / "second-only.fmr", std::string(second.begin(), second.end()));
    const ToolRun run = runTool({path("second-only.fmr"), path("two-views.fmr")});
    ASSERT_EQ(run.exitStatus, 0) << run.err;
    EXPECT_EQ(run.out, "99.9 " + path("two-views.fmr") + "\n");
}

// Many probes in one run: each line names both templates, gallery template by
// gallery template, each against every probe; --top keeps each probe's best.
TEST_F(ZarnMatch, AProbeListComparesEveryProbeWithTheGallery) {
    writeFile(dir / "probes.txt", path("probe.fmr") + "\r\n\n" + path("other.fmr") + "\n");
    const ToolRun run = runTool({"--probe-list", path("probes.txt"), "--fmr", "0.0001",
                                 path("same-plain.txt"), path("garbage.txt"), path("other.fmr")});
    EXPECT_EQ(run.exitStatus, 2);
    const auto lines = linesOf(run.out);
    ASSERT_EQ(lines.size(), 6u) << run.out;
    const std::string probe = path("probe.fmr"), other = path("other.fmr");
    EXPECT_EQ(lines[0].substr(lines[0].find(' ')),
              " " + probe + " " + path("same-plain.txt") + " match");
    EXPECT_EQ(lines[1].substr(lines[1].find(' ')),
              " " + other + " " + path("same-plain.txt") + " no-match");
    EXPECT_EQ(lines[2], "- " + probe + " " + path("garbage.txt"));
    EXPECT_EQ(lines[3], "- " + other + " " + path("garbage.txt"));
    EXPECT_EQ(lines[4].substr(lines[4].find(' ')), " " + probe + " " + other + " no-match");
    EXPECT_GT(scoreOf(lines[5]), 40);  // a template against itself
    EXPECT_NE(run.err.find("gallery " + path("garbage.txt")), std::string::npos) << run.err;

    const ToolRun top = runTool({"--probe-list", path("probes.txt"), "--top", "1",
                                 path("same-plain.txt"), path("other.fmr")});
    ASSERT_EQ(top.exitStatus, 0) << top.err;
    const auto best = linesOf(top.out);
    ASSERT_EQ(best.size(), 2u) << top.out;
    EXPECT_EQ(best[0].substr(best[0].find(' ')), " " + probe + " " + path("same-plain.txt"));
    EXPECT_EQ(best[1].substr(best[1].find(' ')), " " + other + " " + other);

    // A probe that cannot be used stops the run before any comparison; a
    // list that cannot be read, or lists nothing, is a command-line mistake.
    writeFile(dir / "bad-probes.txt", path("probe.fmr") + "\n" + path("garbage.txt") + "\n");
    const ToolRun bad = runTool({"--probe-list", path("bad-probes.txt"), path("other.fmr")});
    EXPECT_EQ(bad.exitStatus, 2);
    EXPECT_EQ(bad.out, "");
    writeFile(dir / "empty.txt", "\n");
    for (const std::vector<std::string>& args :
         {std::vector<std::string>{"--probe-list", path("no-list.txt"), path("other.fmr")},
          std::vector<std::string>{"--probe-list", path("empty.txt"), path("other.fmr")},
          std::vector<std::string>{"--probe-list", path("probes.txt")}}) {
        const ToolRun mistake = runTool(args);
        EXPECT_EQ(mistake.exitStatus, 1) << args[1];
        EXPECT_EQ(mistake.out, "");
        EXPECT_NE(mistake.err, "");
    }
}

// --top passes over gallery templates that cannot reach a probe's K best;
// what it lists must still be the head of the full ranking, ties in gallery
// order, whichever K and wherever the probe's own finger lies.
TEST_F(ZarnMatch, TopIsTheHeadOfTheFullRanking) {
    std::string probes, gallery;
    writeImpressions(4, probes, gallery);
    gallery += path("probe.fmr") + "\n" + path("other.fmr") + "\n";
    writeFile(dir / "probes.txt", probes);
    writeFile(dir / "gallery.txt", gallery);
    const ToolRun all =
        runTool({"--probe-list", path("probes.txt"), "--gallery-list", path("gallery.txt")});
    ASSERT_EQ(all.exitStatus, 0) << all.err;
    const auto lines = linesOf(all.out);
    for (const std::size_t k : {1u, 2u, 5u}) {
        const ToolRun top = runTool({"--probe-list", path("probes.txt"), "--top", std::to_string(k),
                                     "--gallery-list", path("gallery.txt")});
        ASSERT_EQ(top.exitStatus, 0) << top.err;
        std::vector<std::string> expected;
        for (std::size_t p = 0; p < 3; ++p) {
            std::vector<std::string> ofProbe;
            for (std::size_t line = p; line < lines.size(); line += 3) {
                ofProbe.push_back(lines[line]);
            }
            std::stable_sort(
                ofProbe.begin(), ofProbe.end(),
                [](const std::string& x, const std::string& y) { return scoreOf(x) > scoreOf(y); });
            expected.insert(expected.end(), ofProbe.begin(), ofProbe.begin() + k);
        }
        EXPECT_EQ(linesOf(top.out), expected) << "--top " << k;
    }
}

// With --top a first look passes over templates that do not look like the
// probe's finger: with room for only two, each probe's own finger, placed
// last behind the others, must still come first, as the full search has it.
TEST_F(ZarnMatch, AShortlistStillFindsEachProbesFinger) {
    std::string probes, gallery;
    writeImpressions(3, probes, gallery);
    writeFile(dir / "probes.txt", probes);
    writeFile(dir / "gallery.txt", gallery);
    const ToolRun exact = runTool({"--probe-list", path("probes.txt"), "--top", "1", "--shortlist",
                                   "0", "--gallery-list", path("gallery.txt")});
    ASSERT_EQ(exact.exitStatus, 0) << exact.err;
    for (const std::string probe : {"finger3_1", "finger1_1", "finger2_1"}) {
        // The probe's finger last: the shortlist is full of other fingers by then.
        std::string reordered;
        const std::string finger = probe.substr(0, probe.find('_'));
        for (const std::string& line : linesOf(gallery)) {
            if (line.find(finger + "_") == std::string::npos) {
                reordered += line + "\n";
            }
        }
        for (const std::string& line : linesOf(gallery)) {
            if (line.find(finger + "_") != std::string::npos) {
                reordered += line + "\n";
            }
        }
        writeFile(dir / "reordered.txt", reordered);
        const ToolRun run = runTool({"--top", "1", "--shortlist", "2", "--gallery-list",
                                     path("reordered.txt"), path(probe + ".fmr")});
        ASSERT_EQ(run.exitStatus, 0) << run.err;
        EXPECT_NE(run.out.find(finger + "_"), std::string::npos) << probe << ": " << run.out;
        EXPECT_NE(
            exact.out.find(path(probe + ".fmr") + " " + run.out.substr(run.out.find(' ') + 1)),
            std::string::npos)
            << probe << ": " << run.out;
    }
    // A shortlist shorter than the list asked for, or without --top, is a mistake.
    EXPECT_EQ(runTool({"--top", "3", "--shortlist", "2", path("probe.fmr"), path("other.fmr")})
                  .exitStatus,
              1);
    EXPECT_EQ(runTool({"--shortlist", "5", path("probe.fmr"), path("other.fmr")}).exitStatus, 1);
}

// The comparisons are spread over threads in batches of the gallery: every
// listing must come out as one thread gives it, over several batches, with
// an unusable template among them, whether every score is printed or only
// the best, found exactly or after a first look.
TEST_F(ZarnMatch, EveryThreadCountGivesTheSameOutput) {
    std::string probes, impressions;
    writeImpressions(3, probes, impressions);
    std::string gallery;
    for (int copy = 0; copy < 25; ++copy) {
        gallery += impressions + (copy == 12 ? path("garbage.txt") + "\n" : "");
    }
    writeFile(dir / "probes.txt", probes);
    writeFile(dir / "gallery.txt", gallery);
    const std::vector<std::vector<std::string>> modes = {
        {}, {"--top", "3"}, {"--top", "2", "--shortlist", "0"}, {"--top", "1", "--shortlist", "4"}};
    for (const std::vector<std::string>& mode : modes) {
        std::vector<std::string> args = {"--probe-list", path("probes.txt"), "--gallery-list",
                                         path("gallery.txt")};
        args.insert(args.end(), mode.begin(), mode.end());
        args.insert(args.end(), {"--threads", "1"});
        const ToolRun one = runTool(args);
        args.back() = "3";
        const ToolRun three = runTool(args);
        const std::string shown = mode.empty() ? "every score" : mode[0] + " " + mode[1];
        EXPECT_EQ(one.exitStatus, 2) << shown;
        EXPECT_EQ(three.exitStatus, one.exitStatus) << shown;
        EXPECT_EQ(three.out, one.out) << shown;
        EXPECT_EQ(three.err, one.err) << shown;
        EXPECT_FALSE(one.out.empty()) << shown;
    }
    EXPECT_EQ(runTool({"--threads", "0", path("probe.fmr"), path("other.fmr")}).exitStatus, 1);
}

// --decimals only widens the score: the same lines, the same order, each
// score the precise one rounded; out of range it is a command-line mistake.
TEST_F(ZarnMatch, DecimalsWidenTheScoresAndNothingElse) {
    const std::vector<std::string> gallery = {path("other.fmr"), path("same-plain.txt"),
                                              path("same-pretty.txt"), path("same-cstyle.txt")};
    std::vector<std::string> args = {"--top", "3", path("probe.fmr")};
    args.insert(args.end(), gallery.begin(), gallery.end());
    const ToolRun plain = runTool(args);
    args.insert(args.begin(), {"--decimals", "15"});
    const ToolRun precise = runTool(args);
    ASSERT_EQ(plain.exitStatus, 0) << plain.err;
    ASSERT_EQ(precise.exitStatus, 0) << precise.err;
    const auto rounded = linesOf(plain.out), full = linesOf(precise.out);
    ASSERT_EQ(rounded.size(), 3u);
    ASSERT_EQ(full.size(), rounded.size());
    for (std::size_t i = 0; i < full.size(); ++i) {
        const std::string score = full[i].substr(0, full[i].find(' '));
        EXPECT_EQ(score.size() - score.find('.') - 1, 15u) << full[i];
        char shown[16];
        std::snprintf(shown, sizeof shown, "%.1f", std::stod(score));
        EXPECT_EQ(std::string(shown) + full[i].substr(score.size()), rounded[i]);
    }
    for (const char* wrong : {"16", "-1"}) {
        EXPECT_EQ(runTool({"--decimals", wrong, path("probe.fmr"), path("other.fmr")}).exitStatus,
                  1)
            << wrong;
    }
}

TEST_F(ZarnMatch, HelpVersionAndIncompleteCommandLines) {
    const ToolRun help = runTool({"--help"});
    EXPECT_EQ(help.exitStatus, 0);
    EXPECT_NE(help.out.find("--gallery-list"), std::string::npos);
    EXPECT_NE(help.out.find("1 in 10,000"), std::string::npos);
    const ToolRun version = runTool({"--version"});
    EXPECT_EQ(version.exitStatus, 0);
    EXPECT_EQ(version.out, "1.0.0\n");
    EXPECT_EQ(runTool({}).exitStatus, 1);
    const ToolRun noGallery = runTool({path("probe.fmr")});
    EXPECT_EQ(noGallery.exitStatus, 1);
    EXPECT_NE(noGallery.err.find("no gallery template given"), std::string::npos);
    EXPECT_EQ(runTool({"--bogus", path("probe.fmr")}).exitStatus, 1);
}

TEST_F(ZarnMatch, AFailedStandardOutputIsAFailure) {
    const ToolRun run = runTool({path("probe.fmr"), path("other.fmr")}, {}, "/dev/full");
    EXPECT_EQ(run.exitStatus, 2);
    EXPECT_NE(run.err.find("failed to write the scores"), std::string::npos) << run.err;
}

}  // namespace
}  // namespace zarn::test
